#include "ops/modification_list.h"

#include <algorithm>

#include "util/hex_text.h"
#include "util/nothing_sent.h"
#include "util/secret_memory.h"
#include "util/text_encoding.h"

namespace kestrel {

namespace {

constexpr const char* kPasswordAttribute = "#setpwd#";
constexpr const char* kUnicodePwd = "unicodepwd";

template <typename Map>
std::size_t countWithoutPassword(const Map& map) {
    return map.size() - map.count(kPasswordAttribute);
}

// A removal with no values is a delete of the whole attribute on the wire: "drink:--:;"
// would wipe every value instead of none. Such a run is refused before anything is sent.
template <typename Map>
bool hasNoEmptyRemoval(Reporter& reporter, const Map& removals) {
    for (const auto& [name, values] : removals) {
        if (values.empty() && name != kPasswordAttribute) {
            reporter.notice(nothingSentLine("No value given to remove from " + name +
                                            "; that would remove every value."));
            return false;
        }
    }
    return true;
}

}  // namespace

ModificationList::~ModificationList() {
    for (Modification& modification : modifications_) {
        std::for_each(modification.values.begin(), modification.values.end(), wipeText);
    }
    wipeText(password_.password);
}

void ModificationList::append(ModOperation op, const std::string& type,
                              std::vector<std::string> values) {
    modifications_.push_back(Modification{op, type, std::move(values), false});
}

void ModificationList::appendBinaries(ModOperation op, const std::string& type,
                                      std::span<const BinaryValue> values) {
    Modification modification{op, type, {}, true};
    for (const BinaryValue& value : values) {
        modification.values.emplace_back(value.begin(), value.end());
    }
    modifications_.push_back(std::move(modification));
}

void ModificationList::appendUnicodePwd(Reporter& reporter, ModOperation op,
                                        const std::string& value) {
    reporter.trace("DEBUG: unicodePwd, special handling...\n");
    // Checked before connecting, so the conversion succeeds here.
    std::optional<std::string> bytes = quotedUtf16le(value, Quotes::KeepWriters);
    Modification modification{op, kUnicodePwd, {}, true};
    modification.values.push_back(bytes.value_or(std::string()));
    if (bytes) {
        wipeText(*bytes);
    }
    if (reporter.debug) {
        const std::string& sent = modification.values.front();
        reporter.trace("[" + utf16leToLocale(sent).value_or(std::string()) + "]\n");
    }
    modifications_.push_back(std::move(modification));
}

ModificationList ModificationList::forModify(Reporter& reporter, const ModificationSet& set) {
    ModificationList list;
    for (const std::string& name : set.clears) {
        if (name == kPasswordAttribute) {
            reporter.notice("\n");
            reporter.warning("#setpwd# is not logical with clear operation.\n\n");
            continue;
        }
        list.append(ModOperation::Delete, name, {});
    }
    for (const auto& [name, values] : set.removeValues) {
        if (name == kPasswordAttribute) {
            reporter.notice("\n");
            reporter.warning("#setpwd# is not logical with remove operation.\n\n");
            continue;
        }
        list.append(ModOperation::Delete, name, values);
    }
    for (const auto& [name, value] : set.replaceValues) {
        if (name == kPasswordAttribute) {
            list.password_ = PasswordRequest{true, value};
        } else if (name == kUnicodePwd) {
            list.appendUnicodePwd(reporter, ModOperation::Replace, value);
        } else {
            list.append(ModOperation::Replace, name, {value});
        }
    }
    for (const auto& [name, values] : set.addValues) {
        list.append(ModOperation::Add, name, values);
    }
    for (const auto& [name, values] : set.removeBinary) {
        list.appendBinaries(ModOperation::Delete, name, values);
    }
    for (const auto& [name, value] : set.replaceBinary) {
        list.appendBinaries(ModOperation::Replace, name, std::span<const BinaryValue>(&value, 1));
        if (reporter.debug) {
            reporter.trace(hexDumpText(value.data(), value.size()));
        }
    }
    for (const auto& [name, values] : set.addBinary) {
        list.appendBinaries(ModOperation::Add, name, values);
    }
    return list;
}

ModificationList ModificationList::forAdd(Reporter& reporter, const ModificationSet& set) {
    ModificationList list;
    for (const auto& [name, values] : set.addValues) {
        if (name == kPasswordAttribute) {
            // Only the first value counts; an entry without values asks for nothing.
            if (!values.empty()) {
                list.password_ = PasswordRequest{true, values.front()};
            }
        } else if (name == kUnicodePwd) {
            if (!values.empty()) {
                list.appendUnicodePwd(reporter, ModOperation::Add, values.front());
            }
        } else {
            list.append(ModOperation::Add, name, values);
        }
    }
    for (const auto& [name, values] : set.addBinary) {
        list.appendBinaries(ModOperation::Add, name, values);
    }
    return list;
}

std::size_t countModifications(const ModificationSet& set, bool addMode) {
    std::size_t count = 0;
    if (addMode) {
        count = countWithoutPassword(set.addValues);
        if (auto it = set.addValues.find(kUnicodePwd);
            it != set.addValues.end() && it->second.empty()) {
            --count;
        }
        return count + set.addBinary.size();
    }
    for (const std::string& name : set.clears) {
        count += name == kPasswordAttribute ? 0 : 1;
    }
    count += countWithoutPassword(set.removeValues) + countWithoutPassword(set.replaceValues);
    count += set.addValues.size() + set.removeBinary.size() + set.replaceBinary.size() +
             set.addBinary.size();
    // A bit change deletes the value read and adds the new one.
    return count + 2 * set.bitChanges.size();
}

bool checkModificationSet(Reporter& reporter, const ModificationSet& set, bool addMode) {
    const std::size_t count = countModifications(set, addMode);
    if (count > kMaxModifications) {
        reporter.notice(nothingSentLine(std::to_string(count) +
                                        " modifications requested; one request holds at most " +
                                        std::to_string(kMaxModifications) + "."));
        return false;
    }
    if (!addMode && (!hasNoEmptyRemoval(reporter, set.removeValues) ||
                     !hasNoEmptyRemoval(reporter, set.removeBinary))) {
        return false;
    }
    std::vector<const std::string*> passwords;
    for (const char* name : {kPasswordAttribute, kUnicodePwd}) {
        if (addMode) {
            if (auto it = set.addValues.find(name);
                it != set.addValues.end() && !it->second.empty()) {
                passwords.push_back(&it->second.front());
            }
        } else if (auto it = set.replaceValues.find(name); it != set.replaceValues.end()) {
            passwords.push_back(&it->second);
        }
    }
    for (const std::string* password : passwords) {
        if (!localeToUtf16le(*password)) {
            // Never send a password the server would store corrupted.
            reporter.notice(
                nothingSentLine("A password value is not valid text in this locale's encoding (" +
                                localeEncoding() + ")."));
            return false;
        }
    }
    return true;
}

}  // namespace kestrel
