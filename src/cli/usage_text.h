// The one-line usage hint and the full usage text.
#pragma once

#include "platform/console.h"

namespace kestrel {

inline constexpr int kUsageExitStatus = 1;

// Writes the hint to standard error; returns the exit status the run ends with (1).
int printUsageHint(Console& console);

// Writes the full usage text to standard output; returns the exit status (1).
int printUsage(Console& console);

}  // namespace kestrel
