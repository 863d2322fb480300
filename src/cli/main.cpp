// kestrel: applies one change to an ordered list of directory objects.
#include <clocale>
#include <iostream>

#include "cli/driver.h"
#include "platform/exit_status.h"
#include "platform/tick_counter.h"
#include "session/ldap_client.h"

int main(int argc, char** argv) {
    // Password texts are converted from the caller's locale encoding.
    std::setlocale(LC_CTYPE, "");
    // Target lists can be long; C stdio synchronisation would slow reading them tenfold.
    std::ios::sync_with_stdio(false);

    kestrel::Console console(std::cout, std::cerr);
    kestrel::DriverServices services{kestrel::openLdapLibrary(), nullptr, kestrel::tickCount};
    const std::int32_t status = kestrel::runKestrel(argc, argv, std::cin, console, services);
    std::cout.flush();
    return kestrel::processExitStatus(status);
}
