// Opening, binding and closing the run's one LDAP connection, and waiting for results.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "connection/session_security.h"
#include "directory/ldap_client.h"
#include "locator/dc_locator.h"
#include "locator/server_address.h"
#include "util/reporter.h"

namespace kestrel {

inline constexpr int kGlobalCatalogPort = 3268;
inline constexpr int kGlobalCatalogTlsPort = 3269;

struct ConnectSettings {
    std::optional<std::string> server;  // may end in ":port", or be an ldap(s):// URL
    int port = 0;                       // 1: global catalog; 0 or less: none requested
    bool ref = true;
    bool version3 = true;
    bool anonymous = false;
    std::string userdn;
    std::string password;
    bool simple = false;
    bool encrypt = false;
    bool extendedErrorInfo = false;
    // Not a classic connection setting: without it a server that accepts the connection
    // but never answers would hang the bind for ever. 0 or less: no limit.
    int timeoutSeconds = 0;
    // StartTLS before the bind (a plain ldap:// server only).
    bool startTls = false;
    // A simple bind with these credentials, only ever over TLS; the password is obtained
    // once that is known, before anything is sent.
    BindCredentials* credentials = nullptr;
    // With no server: where to look for a DC of the caller's domain, each one found tried
    // in turn until one can be reached; none found (or no locator): the library's default.
    DcLocator* locator = nullptr;
};

// The open, bound connection. Owned by the driver; closing it unbinds.
struct LdapSession {
    std::unique_ptr<LdapConnection> handle;
    std::string serverText;       // the server as connected to (after "." became localhost)
    TlsMode tls = TlsMode::None;  // how it is protected, for other sessions to the DC
};

// A bound session, or nothing when the run cannot go on (the reason is already written).
std::optional<LdapSession> openSession(Reporter& reporter, LdapLibrary& library,
                                       const ConnectSettings& settings);

void closeSession(LdapSession& session);

// Waits for one request's result. Returns its code; on failure `diagnostic` receives
// the server's text. A time limit of 0 or less waits as long as the answer takes. `sent`
// says whether the request left at all (requestFate).
int awaitResult(LdapSession& session, int messageId, int timeoutSeconds, std::string& diagnostic,
                bool& sent);

}  // namespace kestrel
