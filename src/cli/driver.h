// The program's run, from the command line to the exit status.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>

#include "cli/kestrel_version.h"
#include "cli/run_timer.h"
#include "connection/session_security.h"
#include "directory/ldap_client.h"
#include "locator/dc_locator.h"
#include "password/password_setter.h"
#include "util/reporter.h"

namespace kestrel {

inline constexpr const char* kBuildMonth = "June 2005";

// What the run talks to outside the process; tests replace each one.
struct DriverServices {
    LdapLibrary& ldap;
    PasswordSetter& passwords;
    RunTimer::Clock clock;
    // Called once the switch table holds its own copy of the arguments, so that the
    // caller's copy (and any password in it) can be zeroed; may be empty.
    std::function<void()> forgetArguments;
    // Where to look for a DC when no server is named; none: the library's default server.
    DcLocator* locator = nullptr;
    // Filled while the run's session is open, for `passwords`: how that session is
    // protected (TLS) and whom it binds as, which the password step's own sessions follow.
    SessionSecurity* security = nullptr;
    // The one place that keeps a password out of core dumps: called before the run reads
    // one (from -f, -pwfile or the terminal), as the entry does for the command line's;
    // may be empty.
    std::function<void()> protectSecrets = {};
    // Found at the program's entry: a quiet run shows its progress on a terminal only.
    bool stderrIsTerminal = false;
    bool stdoutIsTerminal = false;
};

// Runs one job and returns its 32-bit status (see processExitStatus for the process's).
std::int32_t runKestrel(int argc, const char* const* argv, std::istream& input, Reporter& reporter,
                        DriverServices& services);

}  // namespace kestrel
