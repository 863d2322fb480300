// The stopwatch behind -elapsed and -elapsedms.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace kestrel {

class RunTimer {
  public:
    using Clock = std::function<std::uint32_t()>;

    explicit RunTimer(Clock clock);

    void start();

    // The first reading fixes the end tick; later readings reuse it.
    std::uint32_t elapsedMs();

    std::uint32_t startTick() const { return start_; }
    std::uint32_t endTick() const { return end_.value_or(0); }

  private:
    Clock clock_;
    std::uint32_t start_ = 0;
    std::optional<std::uint32_t> end_;
};

}  // namespace kestrel
