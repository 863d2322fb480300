// Reading the run's settings from the validated switches.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/switch_table.h"
#include "ops/run_settings.h"
#include "util/reporter.h"

namespace kestrel {

// The program's switches.
SwitchSpec kestrelSwitchSpec();

// The switches whose value is a file name, taken whatever it begins with.
std::vector<std::string> kestrelFileSwitches();

// Decimal number as -t, -safety and -p read it: blanks, a sign, digits; anything else 0.
std::int32_t readNumber(std::string_view text);

// Fills the settings and chooses the mode; may print "Modifying ROOTDSE...".
RunSettings readRunSettings(Reporter& reporter, SwitchTable& switches);

}  // namespace kestrel
