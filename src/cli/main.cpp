// kestrel: applies one change to an ordered list of directory objects.
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <iostream>

#include "cli/argument_scrubber.h"
#include "cli/driver.h"
#include "connection/openldap_library.h"
#include "connection/session_security.h"
#include "directory/ldap_client.h"
#include "locator/dc_locator.h"
#include "password/ldap_password_setter.h"
#include "util/exit_status.h"
#include "util/secret_memory.h"
#include "util/tick_counter.h"

int main(int argc, char** argv) {
    // A password given on the command line must not stay readable in the process list:
    // the run works on a copy, and the originals are overwritten before anything else.
    kestrel::ArgumentCopy arguments(argc, argv);
    // Wherever a password is held: a crash must not leave it in a core file, and another
    // process of the same user must not read it out of this one's memory.
    const auto protectSecrets = [] { kestrel::keepOutOfCoreDumps(); };
    if (kestrel::scrubPasswordArguments(argc, argv) > 0) {
        protectSecrets();
    }

    // A file size limit must fail a write (EFBIG), not kill the run between a change and
    // the undo record that reverses it. Process-wide, so decided here and not by the journal.
    std::signal(SIGXFSZ, SIG_IGN);

    // Password texts are converted from the caller's locale encoding.
    std::setlocale(LC_CTYPE, "");
    // Target lists can be long; C stdio synchronisation would slow reading them tenfold.
    std::ios::sync_with_stdio(false);

    kestrel::Reporter reporter(std::cout, std::cerr);
    // "#setpwd#" binds to each target over a sealed session of its own; its waits are
    // bounded like the run's default time limit.
    constexpr int kPasswordTimeLimitSeconds = 120;
    // Filled by the run once its session is open: the password step's sessions go to the
    // DC as the run's own does (TLS, credentials).
    kestrel::SessionSecurity security;
    kestrel::LdapPasswordSetter passwordSetter(kestrel::openLdapLibrary(),
                                               kPasswordTimeLimitSeconds, &security);
    kestrel::DriverServices services{kestrel::openLdapLibrary(),
                                     passwordSetter,
                                     kestrel::tickCount,
                                     [&arguments] { arguments.wipe(); },
                                     &kestrel::systemDcLocator(),
                                     &security,
                                     protectSecrets};
    services.stderrIsTerminal = isatty(STDERR_FILENO) == 1;
    services.stdoutIsTerminal = isatty(STDOUT_FILENO) == 1;
    const std::int32_t status =
        kestrel::runKestrel(arguments.argc(), arguments.argv(), std::cin, reporter, services);
    std::cout.flush();
    return kestrel::processExitStatus(status);
}
