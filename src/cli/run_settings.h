// The run's settings, filled once from the validated switches.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/switch_table.h"
#include "platform/console.h"

namespace kestrel {

enum class RunMode : int {
    None = 0,
    Modify = 1,
    Delete = 2,
    Rename = 4,
    Move = 8,
    Undelete = 16,
    Add = 32,
};

struct RunSettings {
    std::string host;                   // empty: the LDAP library's default server
    std::int32_t port = 0;              // 0: the default LDAP port
    std::int32_t timeoutSeconds = 120;  // 0 or less: wait for each answer without limit
    std::int32_t safetyLimit = 10;      // compared unsigned, so -1 means no limit
    std::string baseDn;
    bool baseDnGiven = false;
    std::string attrDelimiter = ":";
    std::string mvDelimiter = ";";
    RunMode mode = RunMode::None;
    std::string newRdn;
    std::string newParent;
    bool showElapsedSeconds = false;
    bool showElapsedMs = false;
    bool showExtendedError = false;
    bool treeDelete = false;
    bool continueOnError = false;
    bool kerberosEncryption = false;
};

// The program's 25 switches.
SwitchSpec kestrelSwitchSpec();

// Decimal number as -t, -safety and -p read it: blanks, a sign, digits; anything else 0.
std::int32_t readNumber(std::string_view text);

// Fills the settings and chooses the mode; may print "Modifying ROOTDSE...".
RunSettings readRunSettings(Console& console, SwitchTable& switches);

}  // namespace kestrel
