// The LDAPMod array sent unchanged to every target of a modify or add run.
#pragma once

#include <ldap.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "attr/modification_set.h"
#include "ops/process_targets.h"
#include "util/reporter.h"

namespace kestrel {

// One request holds at most this many modifications (a slot stays free for the terminator).
inline constexpr std::size_t kMaxModifications = 999;

class ModificationList {
  public:
    // All seven groups, in group order: clears, text removals, replaces, adds, then the
    // binary removals, replaces and adds. Writes the #setpwd# warnings and debug lines.
    static ModificationList forModify(Reporter& reporter, const ModificationSet& set);

    // Only the two add groups; every entry uses LDAP_MOD_ADD.
    static ModificationList forAdd(Reporter& reporter, const ModificationSet& set);

    // Null-terminated, valid while this list lives.
    LDAPMod* const* mods() const { return pointers_.data(); }
    std::size_t size() const { return entries_.size(); }
    const PasswordRequest& password() const { return password_; }

    ModificationList(ModificationList&&) = default;
    ModificationList& operator=(ModificationList&&) = default;
    // Zeroes the password it may hold; the entries zero their own copies.
    ~ModificationList();

  private:
    // One LDAPMod and the storage its pointers view.
    struct Entry {
        Entry() = default;
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;
        ~Entry();

        LDAPMod mod{};
        std::string type;
        std::vector<std::string> texts;
        std::vector<char*> textPointers;
        std::string ownedBytes;  // the UTF-16LE unicodePwd value
        std::vector<berval> bervals;
        std::vector<berval*> bervalPointers;
    };

    ModificationList() = default;
    Entry& append(int op, const std::string& type);
    void appendTexts(int op, const std::string& type, const std::vector<std::string>& values);
    // The bervals point at the values themselves, so they must outlive the list.
    void appendBinaries(int op, const std::string& type, std::span<const BinaryValue> values);
    void appendUnicodePwd(Reporter& reporter, int op, const std::string& value);
    void seal();

    std::vector<std::unique_ptr<Entry>> entries_;
    std::vector<LDAPMod*> pointers_{nullptr};
    PasswordRequest password_;
};

// How many modifications the set yields in a modify (or add) run.
std::size_t countModifications(const ModificationSet& set, bool addMode);

// The checks a modify or add run makes before connecting: at most 999 modifications,
// and every password text (unicodePwd, #setpwd#) valid in the locale's encoding.
// Writes an ERROR line and returns false when the run must not go on.
bool checkModificationSet(Reporter& reporter, const ModificationSet& set, bool addMode);

// The quoted UTF-16LE bytes a unicodePwd value is sent as, or nothing when the value is
// not valid text in the locale's encoding.
std::optional<std::string> unicodePwdBytes(const std::string& value);

}  // namespace kestrel
