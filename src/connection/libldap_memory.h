// Owners of what libldap hands out, one deleter each, for the few files that call it.
#pragma once

#include <ldap.h>

#include <memory>

namespace kestrel {

struct MessageFree {
    void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
using MessagePtr = std::unique_ptr<LDAPMessage, MessageFree>;

struct MemFree {
    void operator()(void* memory) const { ldap_memfree(memory); }
};
using LdapString = std::unique_ptr<char, MemFree>;

struct ValuesFree {
    void operator()(berval** values) const { ldap_value_free_len(values); }
};
using ValuesPtr = std::unique_ptr<berval*, ValuesFree>;

struct BerFree {
    void operator()(BerElement* ber) const { ber_free(ber, 0); }
};
using BerPtr = std::unique_ptr<BerElement, BerFree>;

struct ControlsFree {
    void operator()(LDAPControl** controls) const { ldap_controls_free(controls); }
};
using ControlsPtr = std::unique_ptr<LDAPControl*, ControlsFree>;

struct ReferralsFree {
    void operator()(char** referrals) const { ber_memvfree(reinterpret_cast<void**>(referrals)); }
};
using ReferralsPtr = std::unique_ptr<char*, ReferralsFree>;

struct UrlDescFree {
    void operator()(LDAPURLDesc* desc) const { ldap_free_urldesc(desc); }
};
using UrlDescPtr = std::unique_ptr<LDAPURLDesc, UrlDescFree>;

}  // namespace kestrel
