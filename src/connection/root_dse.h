// What the server's RootDSE says about it, read once right after the bind.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "connection/ldap_session.h"
#include "util/reporter.h"

namespace kestrel {

struct RootDseInfo {
    std::string schemaNamingContext;
    std::string configurationNamingContext;
    std::string defaultNamingContext;
    std::string rootDomainNamingContext;
    std::string dnsHostName;
    std::string dsServiceName;
    std::string highestCommittedUsn;
    std::string ldapServiceName;
    std::string serverName;
    bool capLdapIntegration = false;
    bool capActiveDirectory = false;
    bool capWindows2003 = false;
    bool capApplicationMode = false;
    std::string serverKind;
    std::int32_t domainFunctionality = 0;
    std::int32_t forestFunctionality = 0;
    std::string domainMode;
    std::string forestMode;
    std::uint32_t namingContextCount = 0;
    std::vector<std::string> namingContexts;
    std::set<std::string> supportedCapabilities;
    std::string currentTime;
    bool valid = false;
};

// Sets the capability flags, server kind and mode names from the raw fields.
void decodeRootDse(RootDseInfo& info);

// Reads the RootDSE into `info`. On failure writes the search error and leaves
// `valid` false; the session stays open.
void gatherRootDse(Reporter& reporter, LdapSession& session, RootDseInfo& info);

}  // namespace kestrel
