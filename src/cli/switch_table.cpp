#include "cli/switch_table.h"

#include <algorithm>

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

// Removes `marker` from the front of `entry`; true when it was there.
bool takeMarker(std::string& entry, char marker) {
    if (entry.empty() || entry.front() != marker) {
        return false;
    }
    entry.erase(0, 1);
    return true;
}

}  // namespace

void SwitchTable::wipe() {
    for (auto& [name, value] : switches_) {
        wipeText(value);
    }
    std::for_each(positionals_.begin(), positionals_.end(), wipeText);
    positionals_.clear();
}

SwitchTable::SwitchTable(int argc, const char* const* argv, bool caseSensitive,
                         const std::vector<std::string>& fileSwitches)
    : caseSensitive_(caseSensitive) {
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
            !pending.empty() &&
            std::any_of(fileSwitches.begin(), fileSwitches.end(),
                        [&](const std::string& name) { return fold(name) == pending; });
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

std::string SwitchTable::fold(const std::string& name) const {
    // ASCII only: what a command line means must not depend on the locale.
    return caseSensitive_ ? name : asciiLower(name);
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

int SwitchTable::validate(const SwitchSpec& spec) {
    SwitchSpec entries = spec;

    // The parser could not know that a flag takes no value, so a flag swallowed the
    // argument behind it; hand those back as positional arguments.
    for (std::string& entry : entries) {
        if (!takeMarker(entry, ':')) {
            continue;
        }
        const auto found = switches_.find(fold(entry));
        if (found != switches_.end() && !found->second.empty()) {
            addPositional(found->second);
            found->second.clear();
        }
    }

    // Per name: +1 when given, -1 per specification entry. 1 is unknown, -1 is specified
    // but absent (a problem only when required), 0 is fine.
    std::map<std::string, int> counts;
    std::map<std::string, bool> required;
    for (const auto& given : switches_) {
        counts[given.first] = 1;
    }
    for (std::string& entry : entries) {
        const bool isRequired = takeMarker(entry, '^');
        const std::string name = fold(entry);
        counts[name] -= 1;
        required[name] = required[name] || isRequired;
    }

    unknown_.clear();
    missing_.clear();
    for (const auto& [name, count] : counts) {
        if (count == 1) {
            unknown_.push_back(name);
        } else if (count == -1 && required[name]) {
            missing_.push_back(name);
        }
    }
    unknownCount_ = static_cast<int>(unknown_.size());
    missingCount_ = static_cast<int>(missing_.size());
    return unknownCount_ + missingCount_;
}

}  // namespace kestrel
