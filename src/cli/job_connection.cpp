#include "cli/job_connection.h"

#include <string>

#include "cli/bind_password.h"
#include "util/terminal_text.h"

namespace kestrel {
namespace {

ConnectSettings connectSettings(const RunSettings& settings, DriverServices& services,
                                const JobInputs& inputs) {
    ConnectSettings connect;
    if (!settings.host.empty()) {
        connect.server = settings.host;
    }
    connect.port = settings.port;
    // A password travels only sealed, whether or not -kerbenc was given.
    connect.encrypt = settings.kerberosEncryption || inputs.sendsPasswords;
    connect.timeoutSeconds = settings.timeoutSeconds;
    connect.startTls = settings.startTls;
    connect.locator = services.locator;
    return connect;
}

BindCredentials* bindCredentials(Reporter& reporter, const RunSettings& settings,
                                 DriverServices& services,
                                 std::optional<BindCredentials>& credentials) {
    if (!settings.bindDnGiven) {
        return nullptr;
    }
    credentials.emplace();
    credentials->dn = settings.bindDn;
    credentials->readPassword = [&reporter, &settings, &services](std::string& password) {
        // From here on a copy of the password is in memory.
        if (services.protectSecrets) {
            services.protectSecrets();
        }
        return readBindPassword(reporter, settings, password);
    };
    return &*credentials;
}

}  // namespace

SecurityInUse::SecurityInUse(SessionSecurity* security, TlsMode tls,
                             const BindCredentials* credentials)
    : security_(security) {
    if (security_ != nullptr) {
        *security_ = SessionSecurity{tls, credentials};
    }
}

SecurityInUse::~SecurityInUse() {
    if (security_ != nullptr) {
        *security_ = SessionSecurity{};
    }
}

Verdict connectJob(Reporter& reporter, const RunSettings& settings, DriverServices& services,
                   const JobInputs& inputs, JobConnection& connection) {
    reporter.trace("Opening TCP connection\n");
    if (inputs.readsPasswords && services.protectSecrets) {
        services.protectSecrets();
    }
    ConnectSettings connect = connectSettings(settings, services, inputs);
    connect.credentials = bindCredentials(reporter, settings, services, connection.credentials);
    connection.session = openSession(reporter, services.ldap, connect);
    if (!connection.session) {
        return Refusal::onStandardError("Terminating program.\n");
    }
    LdapSession& session = *connection.session;
    connection.security.emplace(services.security, session.tls,
                                connection.credentials ? &*connection.credentials : nullptr);

    reporter.trace("DEBUG: Gathering RootDSE\n");
    gatherRootDse(reporter, session, connection.rootDse);
    if (!connection.rootDse.valid) {
        closeSession(session);
        return Refusal::onStandardError(
            "ERROR: Couldn't gather RootDSE Info...\nTerminating program.\n");
    }
    reporter.info("Using server: " + terminalText(connection.rootDse.dnsHostName) + "\n");
    reporter.trace("DEBUG: RootDSE Completed\n");
    return std::nullopt;
}

}  // namespace kestrel
