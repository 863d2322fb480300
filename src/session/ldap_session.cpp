#include "session/ldap_session.h"

#include <cctype>
#include <cerrno>

#include "session/error_report.h"

namespace kestrel {
namespace {

const char* flag(bool value) {
    return value ? "1" : "0";
}

void setOption(Reporter& reporter, LdapConnection& handle, const std::string& serverText,
               int option, int value, const char* debugLine, const char* failureLabel) {
    reporter.traceProblem(debugLine);
    const int rc = handle.ldap_set_option(option, value);
    if (rc != 0) {
        reportLdapError(reporter, failureLabel, serverText, rc, nullptr);
    }
}

}  // namespace

std::optional<LdapSession> openSession(Reporter& reporter, LdapLibrary& library,
                                       const ConnectSettings& settings) {
    ServerAddress address;
    if (settings.server) {
        address = parseServerText(*settings.server);
    }
    std::string serverText = address.host;
    int port = kDefaultLdapPort;
    if (address.port != 0) {
        port = address.port;
    }
    if (settings.port == 1) {
        port = kGlobalCatalogPort;
    }
    if (settings.port > 1) {
        port = settings.port;
    }
    if (!serverText.empty() && serverText.front() == '.') {
        serverText = "localhost";
        address.valid = true;
    }
    const bool simple = settings.simple || settings.anonymous;

    if (reporter.debug) {
        std::string params = "DEBUG: In OpenLDAP... Params:\n";
        if (settings.server) {
            params += "DEBUG:    Server:    " + serverText + "\n";
        }
        params += "DEBUG:    Port:        " + std::to_string(port) + "\n";
        params += std::string("DEBUG:    Ref:       ") + flag(settings.ref) + "\n";
        params += std::string("DEBUG:    V3:        ") + flag(settings.version3) + "\n";
        params += std::string("DEBUG:    Anonymous: ") + flag(settings.anonymous) + "\n";
        params += "DEBUG:    userdn: " + settings.userdn + "\n";
        params += "DEBUG:    password: " + settings.password + "\n";
        params += std::string("DEBUG:    Simple: ") + flag(simple) + "\n";
        params += std::string("DEBUG:    LDAP_OPT_ENCRYPT: ") + flag(settings.encrypt) + "\n";
        params += std::string("DEBUG:    Extended Error Info: ") +
                  flag(settings.extendedErrorInfo) + "\n";
        reporter.trace(params);
    }

    std::optional<std::string> host;
    std::optional<int> requestedPort = port;
    if (!serverText.empty()) {
        host = serverText;
    } else if (settings.port < 1) {
        requestedPort.reset();  // the default server keeps its own port
    }
    int initError = 0;
    std::unique_ptr<LdapConnection> handle;
    if (settings.server && !settings.server->empty() && !address.valid) {
        // A named server is never replaced by the default one, nor cut to another. The
        // line shows the text as typed: that is what the admin has to correct.
        serverText = *settings.server;
        initError = kLdapParamError;
    } else {
        handle = library.ldap_init(host, requestedPort, initError);
    }
    if (!handle) {
        reportLdapError(reporter, "LDAP_INIT", serverText, initError != 0 ? initError : errno,
                        nullptr);
        return std::nullopt;
    }

    handle->setTimeLimit(settings.timeoutSeconds);

    if (settings.version3) {
        setOption(reporter, *handle, serverText, kLdapOptVersion, 3, "LDAP_OPTION: Version 3\n",
                  "LDAP_OPTION (Version3): ");
    }
    if (!settings.ref) {
        setOption(reporter, *handle, serverText, kLdapOptReferrals, 0,
                  "LDAP_OPTION: No referrals\n", "LDAP_OPTION (NoReferrals): ");
    }
    if (settings.encrypt) {
        setOption(reporter, *handle, serverText, kLdapOptEncrypt, 1,
                  "LDAP_OPTION: Kerberos Encryption\n", "LDAP_OPTION (Kerberos Encryption On): ");
    }

    int rc = 0;
    if (simple && settings.anonymous) {
        rc = handle->ldap_simple_bind_s("", "");
    } else if (simple) {
        rc = handle->ldap_simple_bind_s(settings.userdn, settings.password);
    } else if (settings.userdn.empty()) {
        rc = handle->negotiateBind();
    } else {
        std::string lowered = settings.userdn;
        for (char& c : lowered) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (lowered.find("cn=") != std::string::npos) {
            reporter.notice("ERROR: DN format not currently supported for secure bind.\n\n");
            return std::nullopt;
        }
        // Explicit credentials for the negotiate bind are not offered here; binding with
        // the caller's own ticket instead would act as someone other than asked.
        rc = kLdapNotSupported;
    }

    if (rc == 0) {
        if (reporter.debug) {
            reporter.traceProblem("LDAP_BIND: [" +
                                  (settings.server ? *settings.server : handle->hostName()) +
                                  "] Successful\n");
        }
        return LdapSession{std::move(handle), serverText};
    }
    reportLdapError(reporter, "LDAP_BIND", serverText, rc,
                    settings.extendedErrorInfo ? handle.get() : nullptr);
    if (reporter.debug) {
        // The code alone (often just "Local error") rarely says why a Kerberos bind
        // failed; the library's text names the cause, such as a missing ticket.
        const std::string diagnostic = handle->lastDiagnostic();
        if (!diagnostic.empty()) {
            reporter.trace("DEBUG: LDAP_BIND diagnostic: " + diagnostic + "\n");
        }
    }
    return std::nullopt;
}

void closeSession(LdapSession& session) {
    session.handle.reset();
}

int awaitResult(LdapSession& session, int messageId, int timeoutSeconds, std::string& diagnostic) {
    std::string text;
    const int code = session.handle->ldap_result(messageId, timeoutSeconds, text);
    if (code != 0) {
        diagnostic = text;
    }
    return code;
}

}  // namespace kestrel
