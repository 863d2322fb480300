#include "connection/ldap_url.h"

#include <ldap.h>
#include <strings.h>

#include <algorithm>
#include <vector>

#include "connection/libldap_memory.h"

namespace kestrel {
namespace {

// The URLs of a list as libldap separates them.
std::vector<std::string> splitUrls(const std::string& urls) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    while (at < urls.size()) {
        const std::size_t end = std::min(urls.find_first_of(" \t,", at), urls.size());
        if (end > at) {
            pieces.push_back(urls.substr(at, end - at));
        }
        at = end + 1;
    }
    return pieces;
}

// `url` with its port replaced, written back by the library (which escapes the host and
// brackets an IPv6 literal), or nothing when it is not one LDAP URL.
std::optional<std::string> withPort(const std::string& url, int port) {
    LDAPURLDesc* raw = nullptr;
    if (ldap_url_parse(url.c_str(), &raw) != LDAP_URL_SUCCESS) {
        return std::nullopt;
    }
    UrlDescPtr desc(raw);
    desc->lud_port = port;
    LdapString text(ldap_url_desc2str(desc.get()));
    if (!text) {
        return std::nullopt;
    }
    return std::string(text.get());
}

}  // namespace

std::optional<std::string> serverUrl(const std::string& host, int port, UrlScheme urlScheme) {
    LDAPURLDesc desc{};
    std::string scheme = urlScheme == UrlScheme::Ldaps ? "ldaps" : "ldap";
    std::string hostCopy = host;
    desc.lud_scheme = scheme.data();
    desc.lud_host = hostCopy.data();
    desc.lud_port = port;
    desc.lud_scope = -1;  // none: the URL names a server, not a search
    LdapString text(ldap_url_desc2str(&desc));
    if (!text) {
        return std::nullopt;
    }
    LDAPURLDesc* raw = nullptr;
    if (ldap_url_parse(text.get(), &raw) != LDAP_URL_SUCCESS) {
        return std::nullopt;
    }
    UrlDescPtr parsed(raw);
    if (parsed->lud_next != nullptr || parsed->lud_host == nullptr || host != parsed->lud_host ||
        parsed->lud_port != port || parsed->lud_scheme == nullptr || scheme != parsed->lud_scheme) {
        return std::nullopt;
    }
    return std::string(text.get());
}

std::optional<std::string> urlsOnPort(const std::string& urls, int port) {
    std::string result;
    for (const std::string& url : splitUrls(urls)) {
        const std::optional<std::string> moved = withPort(url, port);
        if (!moved) {
            return std::nullopt;
        }
        result += (result.empty() ? "" : " ") + *moved;
    }
    if (result.empty()) {
        return std::nullopt;
    }
    return result;
}

bool allLdaps(const std::string& urls) {
    const std::vector<std::string> pieces = splitUrls(urls);
    return !pieces.empty() && std::all_of(pieces.begin(), pieces.end(), [](const std::string& url) {
        return strncasecmp(url.c_str(), "ldaps://", 8) == 0;
    });
}

}  // namespace kestrel
