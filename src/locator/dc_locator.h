// Finding a domain controller when no server is named: the DNS SRV records that locate the
// DCs of the caller's domain, in the order to try them.
#pragma once

#include <string>
#include <vector>

#include "locator/dns_srv.h"

namespace kestrel {

struct LocatedDcs {
    std::string query;                  // the SRV name asked for; empty when none was asked
    std::vector<SrvRecord> candidates;  // in the order to try them
};

class DcLocator {
  public:
    virtual ~DcLocator() = default;

    // Nothing when libldap has a server configured (its own default then stands), when no
    // Kerberos realm is known, or when DNS names no DC.
    virtual LocatedDcs locate(int timeLimitSeconds) = 0;
};

// "_ldap._tcp.dc._msdcs.<domain>", the domain being the realm in lower case.
std::string dcLocatorQuery(const std::string& realm);

// The locator of this machine: libldap's configuration, the caller's Kerberos realm
// (ticket, else krb5.conf) and the system resolver.
DcLocator& systemDcLocator();

}  // namespace kestrel
