// Between the seam's plain values and libldap's records: the request records, built for
// one call each, and the entries of an answer.
#pragma once

#include <ldap.h>

#include <span>
#include <vector>

#include "directory/ldap_client.h"

namespace kestrel {

// LDAPControl records viewing the caller's ServerControls, plus the null-terminated array.
class ControlArray {
  public:
    explicit ControlArray(const ServerControls& controls);

    LDAPControl** get() { return pointers_.size() > 1 ? pointers_.data() : nullptr; }

  private:
    std::vector<LDAPControl> records_;
    std::vector<LDAPControl*> pointers_;
};

// LDAPMod records viewing the caller's Modifications, with their value arrays and the
// null-terminated array of records. Nothing is copied: libldap only reads through the
// pointers, and the view lives for one call.
class ModArray {
  public:
    explicit ModArray(std::span<const Modification> modifications);
    ModArray(const ModArray&) = delete;
    ModArray& operator=(const ModArray&) = delete;

    LDAPMod** get() { return pointers_.data(); }

  private:
    struct Record {
        LDAPMod mod{};
        std::vector<char*> texts;
        std::vector<berval> bytes;
        std::vector<berval*> bytePointers;
    };
    std::vector<Record> records_;  // never resized once built: the pointers view it
    std::vector<LDAPMod*> pointers_;
};

// The entry of a search answer, its values as bytes.
LdapEntry readEntry(LDAP* ld, LDAPMessage* message);

}  // namespace kestrel
