// The run's settings, read once the switches are known to be well formed, and what the
// switches alone refuse before anything else is read.
#pragma once

#include "cli/refusal.h"
#include "cli/switch_table.h"
#include "ops/run_settings.h"
#include "util/reporter.h"

namespace kestrel {

// Fills `settings` and settles the mode (modify when nothing names another), or refuses:
// unknown or missing switches, the usage text asked for or nothing to do, and switches
// that do not go together or lack a value.
Verdict readCheckedSettings(Reporter& reporter, SwitchTable& switches, RunSettings& settings);

}  // namespace kestrel
