#include "cli/run_timer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <vector>

namespace kestrel {
namespace {

// A tick counter that hands out the given readings in order and counts them.
struct ScriptedClock {
    std::deque<std::uint32_t> ticks;
    int readings = 0;

    RunTimer::Clock clock() {
        return [this] {
            ++readings;
            const std::uint32_t tick = ticks.front();
            ticks.pop_front();
            return tick;
        };
    }
};

TEST(RunTimer, IntervalAndTheWrapRule) {
    struct Row {
        std::uint32_t start;
        std::uint32_t end;
        std::uint32_t elapsed;
    };
    const std::vector<Row> rows = {
        {1000, 2234, 1234},
        {5, 5, 0},
        {0, 0xFFFFFFFFu, 0xFFFFFFFFu},
        // The counter wrapped: the largest value minus the start plus the end.
        {0xFFFFFFF0u, 0x10u, 0x1Fu},
        {0xFFFFFFFFu, 0, 0},
        {0xFFFFFF00u, 0x100u, 0x1FFu},
        {2, 1, 0xFFFFFFFEu},
    };
    for (const Row& row : rows) {
        ScriptedClock scripted{{row.start, row.end}};
        RunTimer timer(scripted.clock());
        timer.start();
        EXPECT_EQ(timer.elapsedMs(), row.elapsed) << row.start << " " << row.end;
        EXPECT_EQ(timer.startTick(), row.start);
        EXPECT_EQ(timer.endTick(), row.end);
    }
}

TEST(RunTimer, TheFirstReadingFixesTheEnd) {
    ScriptedClock scripted{{100, 350, 9000}};
    RunTimer timer(scripted.clock());
    timer.start();
    EXPECT_EQ(timer.elapsedMs(), 250u);
    EXPECT_EQ(timer.elapsedMs(), 250u);
    EXPECT_EQ(scripted.readings, 2);
    EXPECT_EQ(timer.endTick(), 350u);
}

TEST(RunTimer, RestartingTakesANewEnd) {
    ScriptedClock scripted{{100, 350, 400, 1000}};
    RunTimer timer(scripted.clock());
    timer.start();
    EXPECT_EQ(timer.elapsedMs(), 250u);
    timer.start();
    EXPECT_EQ(timer.elapsedMs(), 600u);
}

}  // namespace
}  // namespace kestrel
