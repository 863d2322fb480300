// The ordered list of target DNs and the checks that stand before the directory.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "ops/run_settings.h"
#include "util/reporter.h"

namespace kestrel {

// Longest standard-input line taken as a target.
inline constexpr std::size_t kTargetLineBuffer = 10240;

// From -b (or -rootdse), or one DN per line of `input`.
DnList collectTargets(Reporter& reporter, const RunSettings& settings, std::istream& input);

struct TargetCheck {
    bool goOn = true;
    int exitStatus = 0;  // when !goOn
};

// Prints the count, then applies the empty-list, safety and rename checks.
TargetCheck checkTargets(Reporter& reporter, const RunSettings& settings, const DnList& targets);
// The same for `count` targets (the records of -f or -revert).
TargetCheck checkTargetCount(Reporter& reporter, const RunSettings& settings, std::size_t count);

}  // namespace kestrel
