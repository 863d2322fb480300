// Reading the run's settings from the validated switches.
#pragma once

#include <cstdint>
#include <string_view>

#include "cli/switch_table.h"
#include "ops/run_settings.h"
#include "util/reporter.h"

namespace kestrel {

// Decimal number as -t, -safety and -p read it: blanks, a sign, digits; anything else 0.
std::int32_t readNumber(std::string_view text);

// Fills the settings and chooses the mode; may print "Modifying ROOTDSE...".
RunSettings readRunSettings(Reporter& reporter, SwitchTable& switches);

}  // namespace kestrel
