// The one-line usage hint and the full usage text.
#pragma once

#include "util/reporter.h"

namespace kestrel {

inline constexpr int kUsageExitStatus = 1;

// Writes the hint to standard error; returns the exit status the run ends with (1).
int printUsageHint(Reporter& reporter);

// Writes the full usage text to standard output; returns the exit status (1).
int printUsage(Reporter& reporter);

}  // namespace kestrel
