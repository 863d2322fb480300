#include "ops/progress_line.h"

#include <algorithm>
#include <utility>

namespace kestrel {
namespace {

constexpr std::int64_t kRedrawMs = 100;  // ten a second at most: a terminal is slow

std::string twoDigits(std::int64_t n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

// H:MM:SS from an hour on, M:SS below.
std::string duration(std::int64_t seconds) {
    const std::int64_t hours = seconds / 3600;
    const std::int64_t minutes = seconds / 60 % 60;
    const std::string tail = twoDigits(seconds % 60);
    return hours > 0 ? std::to_string(hours) + ":" + twoDigits(minutes) + ":" + tail
                     : std::to_string(minutes) + ":" + tail;
}

}  // namespace

ProgressLine::ProgressLine(Reporter& reporter, std::function<std::int64_t()> clock,
                           std::size_t total)
    : reporter_(reporter), clock_(std::move(clock)), total_(total), start_(clock_()) {
    draw(start_);
}

ProgressLine::~ProgressLine() {
    erase();
}

void ProgressLine::targetDone(bool failed) {
    ++done_;
    failed_ += failed ? 1 : 0;
    if (const std::int64_t now = clock_(); now - drawnAt_ >= kRedrawMs) {
        draw(now);
    }
}

void ProgressLine::erase() {
    reporter_.clearStatus();
}

void ProgressLine::draw(std::int64_t now) {
    drawnAt_ = now;
    // A tree delete resent after the server's limit reports its target again.
    reporter_.showStatus(text(done_, std::max(total_, done_), failed_, now - start_));
}

std::string ProgressLine::text(std::size_t done, std::size_t total, std::size_t failed,
                               std::int64_t elapsedMs) {
    std::string line = std::to_string(done) + " of " + std::to_string(total) + " done, " +
                       std::to_string(failed) + " failed";
    if (done == 0 || elapsedMs <= 0) {
        return line;
    }
    const auto left = static_cast<std::int64_t>(total - done);
    const auto count = static_cast<std::int64_t>(done);
    const std::int64_t perSecond = count * 1000 / elapsedMs;
    const std::int64_t secondsLeft = (left * elapsedMs + count * 1000 - 1) / (count * 1000);
    return line + ", " + (perSecond > 0 ? std::to_string(perSecond) : "<1") + "/s, " +
           duration(secondsLeft) + " left";
}

}  // namespace kestrel
