// The monotonic millisecond clocks: the stopwatch's tick counter, and the one time limits
// are counted on.
#pragma once

#include <cstdint>

namespace kestrel {

// Milliseconds of CLOCK_MONOTONIC.
std::int64_t monotonicMilliseconds();

// The same truncated to 32 bits (so it wraps like a tick count).
std::uint32_t tickCount();

}  // namespace kestrel
