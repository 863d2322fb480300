// The millisecond tick counter the stopwatch reads.
#pragma once

#include <cstdint>

namespace kestrel {

// Milliseconds of CLOCK_MONOTONIC, truncated to 32 bits (so it wraps like a tick count).
std::uint32_t tickCount();

}  // namespace kestrel
