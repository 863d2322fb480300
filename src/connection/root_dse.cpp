#include "connection/root_dse.h"

#include <array>
#include <cctype>
#include <cstdio>

#include "directory/ldap_client.h"
#include "util/hex_text.h"
#include "util/leading_number.h"

namespace kestrel {
namespace {

const char* modeName(std::int32_t level, const std::array<const char*, 3>& names) {
    return level >= 0 && level <= 2 ? names[static_cast<std::size_t>(level)] : "";
}

}  // namespace

void decodeRootDse(RootDseInfo& info) {
    const auto has = [&](const char* oid) { return info.supportedCapabilities.count(oid) != 0; };
    info.capLdapIntegration = has(kCapLdapIntegrationOid);
    info.capActiveDirectory = has(kCapActiveDirectoryOid);
    info.capWindows2003 = has(kCapWindows2003Oid);
    info.capApplicationMode = has(kCapApplicationModeOid);
    if (info.capLdapIntegration) {
        info.serverKind = "Unknown Windows LDAP";
    }
    if (info.capActiveDirectory) {
        info.serverKind = "Windows 2000";
    }
    if (info.capApplicationMode) {
        info.serverKind = "Active Directory Application Mode";
    }
    if (!info.capWindows2003) {
        return;
    }
    info.serverKind = "Windows Server 2003";
    info.domainMode = modeName(info.domainFunctionality, {"Windows 2000 Mixed Mode",
                                                          "Windows Server 2003 Interim Domain Mode",
                                                          "Windows Server 2003 Domain Mode"});
    info.forestMode = modeName(info.forestFunctionality, {"Windows 2000 Mixed Forest Mode",
                                                          "Windows Server 2003 Interim Forest Mode",
                                                          "Windows Server 2003 Forest Mode"});
}

void gatherRootDse(Reporter& reporter, LdapSession& session, RootDseInfo& info) {
    info = RootDseInfo{};
    SearchRequest request;  // base "" and scope base: the RootDSE, all attributes
    std::vector<LdapEntry> entries;
    const int rc = session.handle->search(request, entries);
    if (rc != 0) {
        reporter.problem("LDAP_SEARCH_S: 0x" + lowerHex(static_cast<std::uint32_t>(rc)) +
                         "\nLDAP_SEARCH_S: " + ldapErrorText(rc) + "\n\n");
        return;
    }
    if (!entries.empty()) {
        const LdapEntry& entry = entries.front();
        const auto first = [&](const char* name, std::string& field) {
            const std::vector<std::string>* values = entry.values(name);
            if (values != nullptr && !values->empty()) {
                field = values->front();
            }
        };
        first("schemaNamingContext", info.schemaNamingContext);
        first("defaultNamingContext", info.defaultNamingContext);
        first("configurationNamingContext", info.configurationNamingContext);
        if (const auto* contexts = entry.values("namingContexts"); contexts != nullptr) {
            info.namingContextCount = static_cast<std::uint32_t>(contexts->size());
            info.namingContexts = *contexts;
        }
        first("currentTime", info.currentTime);
        first("rootDomainNamingContext", info.rootDomainNamingContext);
        first("dnsHostName", info.dnsHostName);
        first("dsServiceName", info.dsServiceName);
        first("highestCommittedUsn", info.highestCommittedUsn);
        first("ldapServiceName", info.ldapServiceName);
        first("serverName", info.serverName);
        if (const auto* capabilities = entry.values("supportedCapabilities");
            capabilities != nullptr) {
            info.supportedCapabilities.insert(capabilities->begin(), capabilities->end());
        }
        std::string level;
        first("domainFunctionality", level);
        info.domainFunctionality = leadingNumber(level);
        level.clear();
        first("forestFunctionality", level);
        info.forestFunctionality = leadingNumber(level);
    }
    decodeRootDse(info);
    info.valid = true;
}

}  // namespace kestrel
