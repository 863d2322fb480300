// Opening, binding and closing the run's one LDAP connection, and waiting for results.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "session/ldap_client.h"
#include "session/server_address.h"
#include "util/reporter.h"

namespace kestrel {

inline constexpr int kGlobalCatalogPort = 3268;

struct ConnectSettings {
    std::optional<std::string> server;  // may end in ":port"
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
};

// The open, bound connection. Owned by the driver; closing it unbinds.
struct LdapSession {
    std::unique_ptr<LdapConnection> handle;
    std::string serverText;  // the server as connected to (after "." became localhost)
};

// A bound session, or nothing when the run cannot go on (the reason is already written).
std::optional<LdapSession> openSession(Reporter& reporter, LdapLibrary& library,
                                       const ConnectSettings& settings);

void closeSession(LdapSession& session);

// Waits for one request's result. Returns its code; on failure `diagnostic` receives
// the server's text. A time limit of 0 or less waits as long as the answer takes.
int awaitResult(LdapSession& session, int messageId, int timeoutSeconds, std::string& diagnostic);

}  // namespace kestrel
