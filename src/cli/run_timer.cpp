#include "cli/run_timer.h"

#include <utility>

namespace kestrel {

RunTimer::RunTimer(Clock clock) : clock_(std::move(clock)) {}

void RunTimer::start() {
    start_ = clock_();
    end_.reset();
}

std::uint32_t RunTimer::elapsedMs() {
    if (!end_) {
        end_ = clock_();
    }
    if (*end_ >= start_) {
        return *end_ - start_;
    }
    // The 32-bit counter wrapped between the two readings.
    return 0xFFFFFFFFu - start_ + *end_;
}

}  // namespace kestrel
