#include "util/tick_counter.h"

#include <time.h>

namespace kestrel {

std::int64_t monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::uint32_t tickCount() {
    return static_cast<std::uint32_t>(monotonicMilliseconds());
}

}  // namespace kestrel
