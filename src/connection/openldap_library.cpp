// Opening libldap handles to the servers asked for, and the library's result codes.
#include "connection/openldap_library.h"

#include <ldap.h>

#include <memory>
#include <optional>
#include <string>

#include "connection/ldap_url.h"
#include "connection/openldap_connection.h"
#include "directory/ldap_client.h"
#include "locator/server_address.h"

namespace kestrel {
namespace {

// The configured default servers (a blank-separated list of URLs) on `port`, each keeping
// its scheme.
std::optional<std::string> defaultServersOnPort(LDAP* ld, int port) {
    std::string uris = optionText(ld, LDAP_OPT_URI);
    if (uris.empty()) {
        uris = "ldap://" + optionText(ld, LDAP_OPT_HOST_NAME);
    }
    return urlsOnPort(uris, port);
}

class OpenLdapLibrary final : public LdapLibrary {
  public:
    using LdapLibrary::openHandle;
    std::unique_ptr<LdapConnection> openHandle(const std::optional<std::string>& host,
                                               std::optional<int> port, UrlScheme scheme,
                                               int& error) override {
        if (port && (*port < 1 || *port > kHighestPort)) {
            // libldap keeps only the low 16 bits: port 65925 would reach port 389, another
            // server than the one asked for.
            error = kLdapParamError;
            return nullptr;
        }
        LDAP* ld = nullptr;
        int rc = LDAP_SUCCESS;
        if (host) {
            const std::optional<std::string> url = serverUrl(
                *host,
                port.value_or(scheme == UrlScheme::Ldaps ? kDefaultLdapsPort : kDefaultLdapPort),
                scheme);
            if (!url) {
                error = kLdapParamError;
                return nullptr;
            }
            rc = ldap_initialize(&ld, url->c_str());
        } else {
            rc = ldap_initialize(&ld, nullptr);
            if (rc == LDAP_SUCCESS && port) {
                const std::optional<std::string> urls = defaultServersOnPort(ld, *port);
                ldap_unbind_ext_s(ld, nullptr, nullptr);
                ld = nullptr;
                if (!urls) {
                    error = kLdapParamError;
                    return nullptr;
                }
                rc = ldap_initialize(&ld, urls->c_str());
            }
        }
        if (rc != LDAP_SUCCESS || ld == nullptr) {
            if (ld != nullptr) {
                ldap_unbind_ext_s(ld, nullptr, nullptr);
            }
            error = mapLibraryCode(rc != LDAP_SUCCESS ? rc : LDAP_NO_MEMORY);
            return nullptr;
        }
        if (::ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) != LDAP_OPT_SUCCESS) {
            ldap_unbind_ext_s(ld, nullptr, nullptr);
            error = kLdapLocalError;
            return nullptr;
        }
        if (host) {
            // Ask for the service principal of the host as typed: libldap would otherwise
            // canonicalise the peer address through reverse DNS.
            ::ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
        }
        const bool ldapsOnly =
            host ? scheme == UrlScheme::Ldaps : allLdaps(optionText(ld, LDAP_OPT_URI));
        return openLdapConnection(ld, ldapsOnly);
    }

  private:
    static constexpr int kHighestPort = 65535;
};

}  // namespace

int mapLibraryCode(int libraryCode) {
    if (libraryCode >= 0) {
        return libraryCode;
    }
    if (libraryCode >= -17) {
        return 0x50 - libraryCode;
    }
    return kLdapLocalError;
}

std::string ldapErrorText(int code) {
    if (code >= 0x51 && code <= 0x61) {
        return ldap_err2string(0x50 - code);
    }
    return ldap_err2string(code);
}

LdapLibrary& openLdapLibrary() {
    static OpenLdapLibrary library;
    return library;
}

}  // namespace kestrel
