// Test helper: prints the program's switch list, one "name flag|value|file" line each, for
// the suite that checks the manual page and the completion against it
// (tests/e2e/package_test.sh).
#include <cstdio>

#include "cli/switch_list.h"

int main() {
    for (const kestrel::SwitchEntry& entry : kestrel::kestrelSwitchList()) {
        const char* const kinds[] = {"flag", "value", "file"};
        std::printf("%.*s %s\n", static_cast<int>(entry.name.size()), entry.name.data(),
                    kinds[static_cast<int>(entry.kind)]);
    }
    return 0;
}
