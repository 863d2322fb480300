// The progress of a long quiet run: one line on standard error, when it is a terminal and
// -q or -json leaves it otherwise silent, redrawn at most ten times a second and erased
// once the run's targets are done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "util/reporter.h"

namespace kestrel {

class ProgressLine {
  public:
    // `clock`: milliseconds on a monotonic clock (the run's). Draws "0 of `total`" at once.
    ProgressLine(Reporter& reporter, std::function<std::int64_t()> clock, std::size_t total);
    ~ProgressLine();  // erases the line, however the run ends
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // One target reported; redrawn when the last drawing is 100 ms old or more.
    void targetDone(bool failed);
    void erase();

    // The line's text after `elapsedMs`: done of total, failures, and once any target is
    // done, the rate and the time left at that rate.
    static std::string text(std::size_t done, std::size_t total, std::size_t failed,
                            std::int64_t elapsedMs);

  private:
    void draw(std::int64_t now);

    Reporter& reporter_;
    std::function<std::int64_t()> clock_;
    std::size_t total_;
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
    std::int64_t start_;
    std::int64_t drawnAt_;
};

}  // namespace kestrel
