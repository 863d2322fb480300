// The modifications sent unchanged to every target of a modify or add run.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "attr/modification_set.h"
#include "directory/ldap_client.h"
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

    // Only the two add groups; every entry is an Add.
    static ModificationList forAdd(Reporter& reporter, const ModificationSet& set);

    std::span<const Modification> modifications() const { return modifications_; }
    std::size_t size() const { return modifications_.size(); }
    const PasswordRequest& password() const { return password_; }

    ModificationList(ModificationList&&) = default;
    ModificationList& operator=(ModificationList&&) = delete;
    // Zeroes the values and the password: any value may be a password.
    ~ModificationList();

  private:
    ModificationList() = default;
    void append(ModOperation op, const std::string& type, std::vector<std::string> values);
    void appendBinaries(ModOperation op, const std::string& type,
                        std::span<const BinaryValue> values);
    void appendUnicodePwd(Reporter& reporter, ModOperation op, const std::string& value);

    std::vector<Modification> modifications_;
    PasswordRequest password_;
};

// How many modifications the set yields in a modify (or add) run.
std::size_t countModifications(const ModificationSet& set, bool addMode);

// The checks a modify or add run makes before connecting: at most 999 modifications,
// and every password text (unicodePwd, #setpwd#) valid in the locale's encoding.
// Writes an ERROR line and returns false when the run must not go on.
bool checkModificationSet(Reporter& reporter, const ModificationSet& set, bool addMode);

}  // namespace kestrel
