#include "cli/switch_table.h"

#include <algorithm>
#include <set>
#include <utility>

#include "util/ascii_case.h"
#include "util/secret_memory.h"

namespace kestrel {
namespace {

// "-5" is a number (a value or a positional), "-" and "/" alone are switch words.
bool isSwitchWord(const std::string& argument) {
    if (argument.empty()) {
        return false;
    }
    if (argument[0] == '/') {
        return true;
    }
    if (argument[0] != '-') {
        return false;
    }
    return argument.size() < 2 || argument[1] < '0' || argument[1] > '9';
}

}  // namespace

void SwitchTable::wipe() {
    for (auto& [name, value] : switches_) {
        wipeText(value);
    }
    std::for_each(positionals_.begin(), positionals_.end(), wipeText);
    positionals_.clear();
}

SwitchTable::SwitchTable(int argc, const char* const* argv, bool caseSensitive, SwitchList list)
    : caseSensitive_(caseSensitive), list_(std::move(list)) {
    if (argc > 0 && argv[0] != nullptr) {
        programName_ = argv[0];
    }
    std::string pending;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr) {
            continue;
        }
        const std::string argument = argv[i];
        const bool takesFile =
            !pending.empty() && std::any_of(list_.begin(), list_.end(), [&](const auto& entry) {
                return entry.kind == SwitchKind::File && fold(entry.name) == pending;
            });
        if (isSwitchWord(argument) && !takesFile) {
            // A repeated switch starts afresh: the last occurrence decides.
            pending = fold(argument.substr(1));
            clearValue(pending);
        } else if (!pending.empty()) {
            setValue(pending, argument);
            pending.clear();
        } else {
            addPositional(argument);
        }
    }
}

std::string SwitchTable::fold(std::string_view name) const {
    // ASCII only: what a command line means must not depend on the locale.
    return caseSensitive_ ? std::string(name) : asciiLower(name);
}

bool SwitchTable::has(const std::string& name) const {
    return switches_.contains(fold(name));
}

std::string SwitchTable::value(const std::string& name) const {
    const auto found = switches_.find(fold(name));
    return found == switches_.end() ? std::string() : found->second;
}

void SwitchTable::setValue(const std::string& name, const std::string& value) {
    switches_[fold(name)] = value;
}

int SwitchTable::validate() {
    // The parser could not know that a flag takes no value, so a flag swallowed the
    // argument behind it; hand those back as positional arguments, in list order.
    std::set<std::string> listed;
    std::set<std::string> missing;
    for (const SwitchEntry& entry : list_) {
        const std::string name = fold(entry.name);
        const auto found = switches_.find(name);
        if (found == switches_.end() && entry.required) {
            missing.insert(name);
        } else if (found != switches_.end() && entry.kind == SwitchKind::Flag &&
                   !found->second.empty()) {
            addPositional(found->second);
            found->second.clear();
        }
        listed.insert(name);
    }
    unknown_.clear();
    for (const auto& given : switches_) {
        if (!listed.contains(given.first)) {
            unknown_.push_back(given.first);
        }
    }
    missing_.assign(missing.begin(), missing.end());
    return static_cast<int>(unknown_.size() + missing_.size());
}

}  // namespace kestrel
