// The run's one session: opened and bound as the switches say, its RootDSE read, and the
// security the password step's own sessions follow while it is open.
#pragma once

#include <optional>

#include "cli/driver.h"
#include "cli/job_inputs.h"
#include "cli/refusal.h"
#include "connection/ldap_session.h"
#include "connection/root_dse.h"
#include "connection/session_security.h"
#include "ops/run_settings.h"
#include "util/reporter.h"

namespace kestrel {

// While the run's session is open, the password step's sessions follow it; afterwards the
// credentials they point to are gone.
class SecurityInUse {
  public:
    SecurityInUse(SessionSecurity* security, TlsMode tls, const BindCredentials* credentials);
    ~SecurityInUse();
    SecurityInUse(const SecurityInUse&) = delete;
    SecurityInUse& operator=(const SecurityInUse&) = delete;

  private:
    SessionSecurity* security_;
};

// Members are destroyed in reverse: the security first, the credentials last.
struct JobConnection {
    // -binddn: wiped when the run ends; the password is read only once the bind will go
    // over TLS.
    std::optional<BindCredentials> credentials;
    std::optional<LdapSession> session;
    RootDseInfo rootDse;
    std::optional<SecurityInUse> security;
};

// Opens and binds the session and reads its RootDSE; a failure to do either ends the run,
// the session closed.
Verdict connectJob(Reporter& reporter, const RunSettings& settings, DriverServices& services,
                   const JobInputs& inputs, JobConnection& connection);

}  // namespace kestrel
