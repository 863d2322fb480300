#include "connection/ldap_session.h"

#include <cerrno>
#include <vector>

#include "directory/error_report.h"
#include "util/ascii_case.h"
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
struct Target {
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

// The DCs the locator finds, as targets in the order to try them.
std::vector<Target> locatedTargets(Reporter& reporter, const ConnectSettings& settings) {
    std::vector<Target> targets;
    if (settings.locator == nullptr) {
        return targets;
    }
    const LocatedDcs located = settings.locator->locate(settings.timeoutSeconds);
    if (located.query.empty()) {
        return targets;
    }
    std::string found;
    for (const SrvRecord& record : located.candidates) {
        const ServerAddress address = parseServerText(record.target);
        if (!address.valid || address.url || address.port != 0 || record.port <= 0) {
            continue;  // not one host name: never cut down to another server
        }
        const int port = choosePort(record.port, settings.port, false);
        targets.push_back(Target{address.host, port, UrlScheme::Ldap, address.host});
        found += " " + address.host + ":" + std::to_string(port);
    }
    reporter.trace("DEBUG: DC locator: " + located.query + ":" +
                   (found.empty() ? std::string(" none") : found) + "\n");
    return targets;
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

// Connects to one target and binds. `last`: no other target follows, so a server that
// cannot be reached is reported rather than passed over.
Attempt attempt(Reporter& reporter, LdapLibrary& library, const ConnectSettings& settings,
                const Target& target, bool last) {
    Attempt result;
    const std::string& serverText = target.serverText;
    int initError = 0;
    std::unique_ptr<LdapConnection> handle =
        library.openHandle(target.host, target.port, target.scheme, initError);
    if (!handle) {
        reportLdapError(reporter, "LDAP_INIT", serverText, initError != 0 ? initError : errno,
                        nullptr);
        return result;
    }

    handle->setTimeLimit(settings.timeoutSeconds);

    if (settings.version3) {
        setSessionOption(reporter, *handle, serverText, kLdapOptVersion, 3,
                         "LDAP_OPTION: Version 3\n", "LDAP_OPTION (Version3): ");
    }
    if (!settings.ref) {
        setSessionOption(reporter, *handle, serverText, kLdapOptReferrals, 0,
                         "LDAP_OPTION: No referrals\n", "LDAP_OPTION (NoReferrals): ");
    }
    const bool ldaps = target.scheme == UrlScheme::Ldaps || handle->usesTls();
    const bool tls = ldaps || settings.startTls;
    // Over TLS a password is sealed by TLS, and Active Directory refuses a SASL layer
    // inside it: the option would make the bind fail.
    if (settings.encrypt && !tls) {
        setSessionOption(reporter, *handle, serverText, kLdapOptEncrypt, 1,
                         "LDAP_OPTION: Kerberos Encryption\n",
                         "LDAP_OPTION (Kerberos Encryption On): ");
    }
    const std::string shown = serverText.empty() ? handle->hostName() : serverText;
    if (settings.startTls && ldaps) {
        reporter.notice("ERROR: -starttls is for ldap:// servers; " + shown +
                        " speaks TLS from the start (ldaps://). Nothing was sent.\n");
        return result;
    }
    if (settings.credentials != nullptr) {
        if (!tls) {
            reporter.notice(
                "ERROR: -binddn sends a password, so it binds only over TLS: name an "
                "ldaps:// server, or add -starttls. Nothing was sent.\n");
            return result;
        }
        if (!settings.credentials->obtainPassword()) {
            return result;
        }
    }

    const TlsMode mode = ldaps               ? TlsMode::Ldaps
                         : settings.startTls ? TlsMode::StartTls
                                             : TlsMode::None;
    int rc = establishTls(*handle, mode);
    if (rc == 0) {
        if (mode == TlsMode::StartTls) {
            reporter.traceProblem("LDAP_STARTTLS: [" + shown + "] Successful\n");
        }
        bool refused = false;
        rc = bind(reporter, settings, *handle, refused);
        if (refused) {
            return result;
        }
    } else if (rc != kLdapServerDown || last) {
        reportTlsFailure(reporter, settings, *handle, rc, mode, serverText, shown);
        return result;
    }

    if (rc == 0) {
        if (reporter.debug) {
            // The server as given; without one, the DC found or the library's default.
            reporter.traceProblem("LDAP_BIND: [" +
                                  (settings.server      ? *settings.server
                                   : serverText.empty() ? handle->hostName()
                                                        : serverText) +
                                  "] Successful\n");
        }
        result.outcome = Outcome::Bound;
        result.session = LdapSession{std::move(handle), serverText, mode};
        return result;
    }
    if (rc == kLdapServerDown && !last) {
        reporter.trace("DEBUG: " + shown + " could not be reached; trying the next DC.\n");
        result.outcome = Outcome::Unreachable;
        return result;
    }
    reportLdapError(reporter, "LDAP_BIND", serverText, rc,
                    settings.extendedErrorInfo ? &*handle : nullptr);
    if (reporter.debug) {
        // The code alone (often just "Local error") rarely says why a Kerberos bind
        // failed; the library's text names the cause, such as a missing ticket.
        const std::string diagnostic = handle->lastDiagnostic();
        if (!diagnostic.empty()) {
            reporter.trace("DEBUG: LDAP_BIND diagnostic: " + terminalServerText(diagnostic) + "\n");
        }
    }
    return result;
}

}  // namespace

std::optional<LdapSession> openSession(Reporter& reporter, LdapLibrary& library,
                                       const ConnectSettings& settings) {
    ServerAddress address;
    if (settings.server) {
        address = parseServerText(*settings.server);
    }
    std::string serverText = address.host;
    const bool ldaps = address.url && address.scheme == UrlScheme::Ldaps;
    const int port = choosePort(address.port, settings.port, ldaps);
    if (!address.url && !serverText.empty() && serverText.front() == '.') {
        serverText = "localhost";
        address.valid = true;
    }
    const bool simple = settings.simple || settings.anonymous || settings.credentials != nullptr;

    if (reporter.debug) {
        std::string params = "DEBUG: In OpenLDAP... Params:\n";
        if (settings.server) {
            params += "DEBUG:    Server:    " + serverText + "\n";
        }
        params += "DEBUG:    Port:        " + std::to_string(port) + "\n";
        params += std::string("DEBUG:    Ref:       ") + flag(settings.ref) + "\n";
        params += std::string("DEBUG:    V3:        ") + flag(settings.version3) + "\n";
        params += std::string("DEBUG:    Anonymous: ") + flag(settings.anonymous) + "\n";
        params += "DEBUG:    userdn: " +
                  (settings.credentials != nullptr ? settings.credentials->dn : settings.userdn) +
                  "\n";
        // A password read for the bind is never shown.
        params +=
            "DEBUG:    password: " +
            (settings.credentials != nullptr ? std::string("(not shown)") : settings.password) +
            "\n";
        params += std::string("DEBUG:    Simple: ") + flag(simple) + "\n";
        params += std::string("DEBUG:    LDAP_OPT_ENCRYPT: ") + flag(settings.encrypt) + "\n";
        params += std::string("DEBUG:    Extended Error Info: ") +
                  flag(settings.extendedErrorInfo) + "\n";
        reporter.trace(params);
    }

    if (settings.server && !settings.server->empty() && !address.valid) {
        // A named server is never replaced by the default one, nor cut to another. The
        // line shows the text as typed: that is what the admin has to correct.
        reportLdapError(reporter, "LDAP_INIT", *settings.server, kLdapParamError, nullptr);
        return std::nullopt;
    }

    std::vector<Target> targets;
    if (!serverText.empty()) {
        targets.push_back(Target{serverText, port, address.scheme, serverText});
    } else {
        targets = locatedTargets(reporter, settings);
    }
    if (targets.empty()) {
        // The library's default server keeps its own port unless one was asked for.
        std::optional<int> requestedPort = port;
        if (settings.port < 1) {
            requestedPort.reset();
        }
        targets.push_back(Target{std::nullopt, requestedPort, UrlScheme::Ldap, ""});
    }
    for (std::size_t i = 0; i < targets.size(); ++i) {
        Attempt tried = attempt(reporter, library, settings, targets[i], i + 1 == targets.size());
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
