#include "session/dn_components.h"

#include <ldap.h>

namespace kestrel {

std::optional<std::vector<std::string>> explodeDn(const std::string& dn) {
    if (dn.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAP) != LDAP_SUCCESS) {
        return std::nullopt;
    }
    const bool empty = parsed == nullptr || parsed[0] == nullptr;
    ldap_dnfree(parsed);
    if (empty) {
        return std::nullopt;
    }

    std::vector<std::string> components;
    std::string current;
    bool quoted = false;
    for (std::size_t i = 0; i < dn.size(); ++i) {
        const char c = dn[i];
        if (c == '\\' && i + 1 < dn.size()) {
            current += c;
            current += dn[++i];
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ',' || c == ';')) {
            components.push_back(std::move(current));
            current.clear();
            continue;
        }
        current += c;
    }
    components.push_back(std::move(current));
    return components;
}

}  // namespace kestrel
