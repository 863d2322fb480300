#include "connection/ldap_session.h"

#include <cerrno>
#include <vector>

#include "directory/error_report.h"
#include "util/ascii_case.h"
#include "util/nothing_sent.h"
#include "util/terminal_text.h"

namespace kestrel {
namespace {

const char* flag(bool value) {
    return value ? "1" : "0";
}

void setSessionOption(Reporter& reporter, LdapConnection& handle, const std::string& serverText,
                      int option, int value, const char* debugLine, const char* failureLabel) {
    reporter.traceProblem(debugLine);
    const int rc = handle.setOption(option, value);
    if (rc != 0) {
        reportLdapError(reporter, failureLabel, serverText, rc, nullptr);
    }
}

// One server to try: a named host, a DC found through DNS, or (no host) the library's
// default server.
struct ServerCandidate {
    std::optional<std::string> host;
    std::optional<int> port;  // none: the default server's own
    UrlScheme scheme = UrlScheme::Ldap;
    std::string serverText;  // what error lines name
};

// The port a run asks for: `port` as written with the server (0: none), unless -p names
// another; 1 is the global catalog's.
int choosePort(int written, int requested, bool ldaps) {
    int port = ldaps ? kDefaultLdapsPort : kDefaultLdapPort;
    if (written != 0) {
        port = written;
    }
    if (requested == 1) {
        port = ldaps ? kGlobalCatalogTlsPort : kGlobalCatalogPort;
    }
    if (requested > 1) {
        port = requested;
    }
    return port;
}

// The DCs the locator finds, in the order to try them.
std::vector<ServerCandidate> locatedServers(Reporter& reporter, const ConnectSettings& settings) {
    std::vector<ServerCandidate> servers;
    if (settings.locator == nullptr) {
        return servers;
    }
    const LocatedDcs located = settings.locator->locate(settings.timeoutSeconds);
    if (located.query.empty()) {
        return servers;
    }
    std::string found;
    for (const SrvRecord& record : located.candidates) {
        const ServerAddress address = parseServerText(record.target);
        if (!address.valid || address.url || address.port != 0 || record.port <= 0) {
            continue;  // not one host name: never cut down to another server
        }
        const int port = choosePort(record.port, settings.port, false);
        servers.push_back(ServerCandidate{address.host, port, UrlScheme::Ldap, address.host});
        found += " " + address.host + ":" + std::to_string(port);
    }
    reporter.trace("DEBUG: DC locator: " + located.query + ":" +
                   (found.empty() ? std::string(" none") : found) + "\n");
    return servers;
}

enum class Outcome { Bound, Failed, Unreachable };

struct Attempt {
    Outcome outcome = Outcome::Failed;
    std::optional<LdapSession> session;
};

// A failure to put TLS in place, at the bind's stage: the bind's error line, then a line
// that says what went wrong, since the code alone does not.
void reportTlsFailure(Reporter& reporter, const ConnectSettings& settings, LdapConnection& handle,
                      int code, TlsMode mode, const std::string& serverText,
                      const std::string& host) {
    reportLdapError(reporter, "LDAP_BIND", serverText, code,
                    settings.extendedErrorInfo ? &handle : nullptr);
    if (code == kLdapConnectError) {
        reporter.notice("ERROR: The TLS handshake with " + host +
                        " failed: its certificate was not accepted (TLS_CACERT and TLS_REQCERT "
                        "in ldap.conf, LDAPTLS_CACERT), is not issued to that name, or the "
                        "server does not speak TLS there. No request was sent.\n");
    } else if (mode == TlsMode::StartTls && code != kLdapTimeout && code != kLdapServerDown) {
        reporter.notice("ERROR: " + host +
                        " refused StartTLS, and nothing is sent to it without TLS. No request "
                        "was sent.\n");
    }
    if (reporter.debug && !handle.lastDiagnostic().empty()) {
        reporter.trace(
            "DEBUG: LDAP_BIND diagnostic: " + terminalServerText(handle.lastDiagnostic()) + "\n");
    }
}

// The bind of the first matching kind; `refused` when it was refused before sending.
int bind(Reporter& reporter, const ConnectSettings& settings, LdapConnection& handle,
         bool& refused) {
    if (settings.credentials != nullptr) {
        return bindAs(handle, settings.credentials);
    }
    if (settings.anonymous) {
        return handle.simpleBind("", "");
    }
    if (settings.simple) {
        return handle.simpleBind(settings.userdn, settings.password);
    }
    if (settings.userdn.empty()) {
        return handle.negotiateBind();
    }
    if (asciiLower(settings.userdn).find("cn=") != std::string::npos) {
        reporter.notice("ERROR: DN format not currently supported for secure bind.\n\n");
        refused = true;
        return 0;
    }
    // Explicit credentials for the negotiate bind are not offered here; binding with the
    // caller's own ticket instead would act as someone other than asked.
    return kLdapNotSupported;
}

// A handle to `server` with its time limit and the options that do not depend on TLS;
// nothing when the library gives none (reported).
std::unique_ptr<LdapConnection> openHandle(Reporter& reporter, LdapLibrary& library,
                                           const ConnectSettings& settings,
                                           const ServerCandidate& server) {
    int initError = 0;
    std::unique_ptr<LdapConnection> handle =
        library.openHandle(server.host, server.port, server.scheme, initError);
    if (!handle) {
        reportLdapError(reporter, "LDAP_INIT", server.serverText,
                        initError != 0 ? initError : errno, nullptr);
        return nullptr;
    }
    handle->setTimeLimit(settings.timeoutSeconds);
    if (settings.version3) {
        setSessionOption(reporter, *handle, server.serverText, kLdapOptVersion, 3,
                         "LDAP_OPTION: Version 3\n", "LDAP_OPTION (Version3): ");
    }
    if (!settings.ref) {
        setSessionOption(reporter, *handle, server.serverText, kLdapOptReferrals, 0,
                         "LDAP_OPTION: No referrals\n", "LDAP_OPTION (NoReferrals): ");
    }
    return handle;
}

TlsMode tlsModeFor(const ConnectSettings& settings, const ServerCandidate& server,
                   LdapConnection& handle) {
    if (server.scheme == UrlScheme::Ldaps || handle.usesTls()) {
        return TlsMode::Ldaps;
    }
    return settings.startTls ? TlsMode::StartTls : TlsMode::None;
}

// The checks that come before anything is sent to a server whose TLS is known: -starttls
// only on plain LDAP, and a password (obtained now) only over TLS. False when refused
// (reported, or the password could not be had).
bool readyToBind(Reporter& reporter, const ConnectSettings& settings, TlsMode mode,
                 const std::string& shown) {
    if (settings.startTls && mode == TlsMode::Ldaps) {
        reporter.notice(nothingSentLine("-starttls is for ldap:// servers; " + shown +
                                        " speaks TLS from the start (ldaps://)."));
        return false;
    }
    if (settings.credentials == nullptr) {
        return true;
    }
    if (mode == TlsMode::None) {
        reporter.notice(
            nothingSentLine("-binddn sends a password, so it binds only over TLS: name an "
                            "ldaps:// server, or add -starttls."));
        return false;
    }
    return settings.credentials->obtainPassword();
}

// A bind that failed: its error line and, under -d, the library's text, which names the
// cause (such as a missing ticket) where the code alone (often just "Local error") does not.
void reportBindFailure(Reporter& reporter, const ConnectSettings& settings, LdapConnection& handle,
                       int code, const std::string& serverText) {
    reportLdapError(reporter, "LDAP_BIND", serverText, code,
                    settings.extendedErrorInfo ? &handle : nullptr);
    if (reporter.debug) {
        const std::string diagnostic = handle.lastDiagnostic();
        if (!diagnostic.empty()) {
            reporter.trace("DEBUG: LDAP_BIND diagnostic: " + terminalServerText(diagnostic) + "\n");
        }
    }
}

// What the code of a server's TLS and bind makes of it: a bound session, a server to pass
// over (not `last`, and unreachable), or a failure (reported).
Attempt settleAttempt(Reporter& reporter, const ConnectSettings& settings,
                      std::unique_ptr<LdapConnection> handle, int code, TlsMode mode,
                      const ServerCandidate& server, const std::string& shown, bool last) {
    Attempt result;
    if (code == 0) {
        if (reporter.debug) {
            // The server as given; without one, the DC found or the library's default.
            reporter.traceProblem("LDAP_BIND: [" +
                                  (settings.server             ? *settings.server
                                   : server.serverText.empty() ? handle->hostName()
                                                               : server.serverText) +
                                  "] Successful\n");
        }
        result.outcome = Outcome::Bound;
        result.session = LdapSession{std::move(handle), server.serverText, mode};
    } else if (code == kLdapServerDown && !last) {
        reporter.trace("DEBUG: " + shown + " could not be reached; trying the next DC.\n");
        result.outcome = Outcome::Unreachable;
    } else {
        reportBindFailure(reporter, settings, *handle, code, server.serverText);
    }
    return result;
}

// Connects to one server and binds. `last`: no other server follows, so one that cannot
// be reached is reported rather than passed over.
Attempt attempt(Reporter& reporter, LdapLibrary& library, const ConnectSettings& settings,
                const ServerCandidate& server, bool last) {
    std::unique_ptr<LdapConnection> handle = openHandle(reporter, library, settings, server);
    if (!handle) {
        return {};
    }
    const TlsMode mode = tlsModeFor(settings, server, *handle);
    // Over TLS a password is sealed by TLS, and Active Directory refuses a SASL layer
    // inside it: the option would make the bind fail.
    if (settings.encrypt && mode == TlsMode::None) {
        setSessionOption(reporter, *handle, server.serverText, kLdapOptEncrypt, 1,
                         "LDAP_OPTION: Kerberos Encryption\n",
                         "LDAP_OPTION (Kerberos Encryption On): ");
    }
    const std::string shown = server.serverText.empty() ? handle->hostName() : server.serverText;
    if (!readyToBind(reporter, settings, mode, shown)) {
        return {};
    }
    int code = establishTls(*handle, mode);
    if (code == 0) {
        if (mode == TlsMode::StartTls) {
            reporter.traceProblem("LDAP_STARTTLS: [" + shown + "] Successful\n");
        }
        bool refused = false;
        code = bind(reporter, settings, *handle, refused);
        if (refused) {
            return {};
        }
    } else if (code != kLdapServerDown || last) {
        reportTlsFailure(reporter, settings, *handle, code, mode, server.serverText, shown);
        return {};
    }
    return settleAttempt(reporter, settings, std::move(handle), code, mode, server, shown, last);
}

// The server the run names (-h, -p), as read.
struct NamedServer {
    ServerAddress address;
    std::string serverText;  // "." and what starts with it: localhost
    int port = 0;
};

NamedServer readNamedServer(const ConnectSettings& settings) {
    NamedServer named;
    if (settings.server) {
        named.address = parseServerText(*settings.server);
    }
    named.serverText = named.address.host;
    const bool ldaps = named.address.url && named.address.scheme == UrlScheme::Ldaps;
    named.port = choosePort(named.address.port, settings.port, ldaps);
    if (!named.address.url && !named.serverText.empty() && named.serverText.front() == '.') {
        named.serverText = "localhost";
        named.address.valid = true;
    }
    return named;
}

// -d: the connection's parameters, before anything is tried.
void traceParameters(Reporter& reporter, const ConnectSettings& settings,
                     const NamedServer& named) {
    const bool simple = settings.simple || settings.anonymous || settings.credentials != nullptr;
    std::string params = "DEBUG: In OpenLDAP... Params:\n";
    if (settings.server) {
        params += "DEBUG:    Server:    " + named.serverText + "\n";
    }
    params += "DEBUG:    Port:        " + std::to_string(named.port) + "\n";
    params += std::string("DEBUG:    Ref:       ") + flag(settings.ref) + "\n";
    params += std::string("DEBUG:    V3:        ") + flag(settings.version3) + "\n";
    params += std::string("DEBUG:    Anonymous: ") + flag(settings.anonymous) + "\n";
    params += "DEBUG:    userdn: " +
              (settings.credentials != nullptr ? settings.credentials->dn : settings.userdn) + "\n";
    // A password read for the bind is never shown.
    params += "DEBUG:    password: " +
              (settings.credentials != nullptr ? std::string("(not shown)") : settings.password) +
              "\n";
    params += std::string("DEBUG:    Simple: ") + flag(simple) + "\n";
    params += std::string("DEBUG:    LDAP_OPT_ENCRYPT: ") + flag(settings.encrypt) + "\n";
    params +=
        std::string("DEBUG:    Extended Error Info: ") + flag(settings.extendedErrorInfo) + "\n";
    reporter.trace(params);
}

// The servers to try in turn: the one named, else the DCs found, else the library's default.
std::vector<ServerCandidate> serversToTry(Reporter& reporter, const ConnectSettings& settings,
                                          const NamedServer& named) {
    if (!named.serverText.empty()) {
        return {
            ServerCandidate{named.serverText, named.port, named.address.scheme, named.serverText}};
    }
    std::vector<ServerCandidate> servers = locatedServers(reporter, settings);
    if (servers.empty()) {
        // The library's default server keeps its own port unless one was asked for.
        std::optional<int> requestedPort = named.port;
        if (settings.port < 1) {
            requestedPort.reset();
        }
        servers.push_back(ServerCandidate{std::nullopt, requestedPort, UrlScheme::Ldap, ""});
    }
    return servers;
}

}  // namespace

std::optional<LdapSession> openSession(Reporter& reporter, LdapLibrary& library,
                                       const ConnectSettings& settings) {
    const NamedServer named = readNamedServer(settings);
    if (reporter.debug) {
        traceParameters(reporter, settings, named);
    }
    if (settings.server && !settings.server->empty() && !named.address.valid) {
        // A named server is never replaced by the default one, nor cut to another. The
        // line shows the text as typed: that is what the admin has to correct.
        reportLdapError(reporter, "LDAP_INIT", *settings.server, kLdapParamError, nullptr);
        return std::nullopt;
    }
    const std::vector<ServerCandidate> servers = serversToTry(reporter, settings, named);
    for (std::size_t i = 0; i < servers.size(); ++i) {
        Attempt tried = attempt(reporter, library, settings, servers[i], i + 1 == servers.size());
        if (tried.outcome != Outcome::Unreachable) {
            return std::move(tried.session);
        }
    }
    return std::nullopt;
}

void closeSession(LdapSession& session) {
    session.handle.reset();
}

int awaitResult(LdapSession& session, int messageId, int timeoutSeconds, std::string& diagnostic,
                bool& sent) {
    std::string text;
    const int code = session.handle->waitForResult(messageId, timeoutSeconds, text, sent);
    if (code != 0) {
        diagnostic = text;
    }
    return code;
}

}  // namespace kestrel
