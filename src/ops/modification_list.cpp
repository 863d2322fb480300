#include "ops/modification_list.h"

#include <algorithm>

#include "session/error_report.h"
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
            reporter.out() << "ERROR: No value given to remove from " << name
                           << "; that would remove every value. Nothing was sent.\n";
            return false;
        }
    }
    return true;
}

}  // namespace

ModificationList::Entry::~Entry() {
    std::for_each(texts.begin(), texts.end(), wipeText);
    wipeText(ownedBytes);
}

ModificationList::~ModificationList() {
    wipeText(password_.password);
}

ModificationList::Entry& ModificationList::append(int op, const std::string& type) {
    auto entry = std::make_unique<Entry>();
    entry->type = type;
    entry->mod.mod_op = op;
    entries_.push_back(std::move(entry));
    return *entries_.back();
}

void ModificationList::appendTexts(int op, const std::string& type,
                                   const std::vector<std::string>& values) {
    Entry& entry = append(op, type);
    entry.texts = values;
    for (std::string& text : entry.texts) {
        entry.textPointers.push_back(text.data());
    }
    entry.textPointers.push_back(nullptr);
}

void ModificationList::appendBinaries(int op, const std::string& type,
                                      std::span<const BinaryValue> values) {
    Entry& entry = append(op | LDAP_MOD_BVALUES, type);
    // The bytes stay owned by the modification set, which outlives this list.
    for (const BinaryValue& value : values) {
        entry.bervals.push_back(
            berval{value.size(), reinterpret_cast<char*>(const_cast<std::uint8_t*>(value.data()))});
    }
}

void ModificationList::appendUnicodePwd(Reporter& reporter, int op, const std::string& value) {
    if (reporter.debug) {
        reporter.out() << "DEBUG: unicodePwd, special handling...\n";
    }
    Entry& entry = append(op | LDAP_MOD_BVALUES, kUnicodePwd);
    // Checked before connecting, so the conversion succeeds here.
    entry.ownedBytes = unicodePwdBytes(value).value_or(std::string());
    if (reporter.debug) {
        reporter.out() << "[" << utf16leToLocale(entry.ownedBytes).value_or(std::string()) << "]\n";
    }
    entry.bervals.push_back(berval{entry.ownedBytes.size(), entry.ownedBytes.data()});
}

// Points every entry at its own storage and terminates the arrays; done once the
// entries stop moving.
void ModificationList::seal() {
    pointers_.clear();
    for (auto& entry : entries_) {
        entry->mod.mod_type = entry->type.data();
        if ((entry->mod.mod_op & LDAP_MOD_BVALUES) != 0) {
            entry->bervalPointers.clear();
            for (berval& value : entry->bervals) {
                entry->bervalPointers.push_back(&value);
            }
            entry->bervalPointers.push_back(nullptr);
            entry->mod.mod_bvalues = entry->bervalPointers.data();
        } else if (entry->textPointers.empty()) {
            entry->mod.mod_values = nullptr;  // a clear: no values at all
        } else {
            entry->mod.mod_values = entry->textPointers.data();
        }
        pointers_.push_back(&entry->mod);
    }
    pointers_.push_back(nullptr);
}

ModificationList ModificationList::forModify(Reporter& reporter, const ModificationSet& set) {
    ModificationList list;
    for (const std::string& name : set.clears) {
        if (name == kPasswordAttribute) {
            reporter.out() << "\nWARN: #setpwd# is not logical with clear operation.\n\n";
            continue;
        }
        list.append(LDAP_MOD_DELETE, name);
    }
    for (const auto& [name, values] : set.removeValues) {
        if (name == kPasswordAttribute) {
            reporter.out() << "\nWARN: #setpwd# is not logical with remove operation.\n\n";
            continue;
        }
        list.appendTexts(LDAP_MOD_DELETE, name, values);
    }
    for (const auto& [name, value] : set.replaceValues) {
        if (name == kPasswordAttribute) {
            list.password_ = PasswordRequest{true, value};
        } else if (name == kUnicodePwd) {
            list.appendUnicodePwd(reporter, LDAP_MOD_REPLACE, value);
        } else {
            list.appendTexts(LDAP_MOD_REPLACE, name, {value});
        }
    }
    for (const auto& [name, values] : set.addValues) {
        list.appendTexts(LDAP_MOD_ADD, name, values);
    }
    for (const auto& [name, values] : set.removeBinary) {
        list.appendBinaries(LDAP_MOD_DELETE, name, values);
    }
    for (const auto& [name, value] : set.replaceBinary) {
        // A view of the set's own value: a braced list would be a temporary copy,
        // and the berval would point into freed memory.
        list.appendBinaries(LDAP_MOD_REPLACE, name, std::span<const BinaryValue>(&value, 1));
        if (reporter.debug) {
            hexDump(reporter, value.data(), value.size());
        }
    }
    for (const auto& [name, values] : set.addBinary) {
        list.appendBinaries(LDAP_MOD_ADD, name, values);
    }
    list.seal();
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
                list.appendUnicodePwd(reporter, LDAP_MOD_ADD, values.front());
            }
        } else {
            list.appendTexts(LDAP_MOD_ADD, name, values);
        }
    }
    for (const auto& [name, values] : set.addBinary) {
        list.appendBinaries(LDAP_MOD_ADD, name, values);
    }
    list.seal();
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
    return count;
}

std::optional<std::string> unicodePwdBytes(const std::string& value) {
    std::optional<std::string> utf16 = localeToUtf16le(value);
    if (!utf16) {
        return std::nullopt;
    }
    const bool quoted = utf16->size() >= 2 && (*utf16)[0] == '"' && (*utf16)[1] == '\0';
    if (!quoted) {
        static const std::string kQuote("\"\0", 2);
        *utf16 = kQuote + *utf16 + kQuote;
    }
    return utf16;
}

bool checkModificationSet(Reporter& reporter, const ModificationSet& set, bool addMode) {
    const std::size_t count = countModifications(set, addMode);
    if (count > kMaxModifications) {
        reporter.out() << "ERROR: " << count
                       << " modifications requested; one request holds at most "
                       << kMaxModifications << ". Nothing was sent.\n";
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
            reporter.out()
                << "ERROR: A password value is not valid text in this locale's encoding ("
                << localeEncoding() << "). Nothing was sent.\n";
            return false;
        }
    }
    return true;
}

}  // namespace kestrel
