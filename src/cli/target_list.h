// The ordered list of target DNs and the checks that stand before the directory.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "cli/refusal.h"
#include "ops/run_settings.h"
#include "util/reporter.h"

namespace kestrel {

// Longest standard-input line taken as a target.
inline constexpr std::size_t kTargetLineBuffer = 10240;

// From -b (or -rootdse), or one DN per line of `input`.
DnList collectTargets(Reporter& reporter, const RunSettings& settings, std::istream& input);

// Prints the count, then refuses an empty list (status 0: there is nothing to do), more
// targets than the safety limit allows, or more than one to rename.
Verdict checkTargets(Reporter& reporter, const RunSettings& settings, const DnList& targets);
// The same for `count` targets (the records of -f or -revert).
Verdict checkTargetCount(Reporter& reporter, const RunSettings& settings, std::size_t count);

}  // namespace kestrel
