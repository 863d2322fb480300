#include "ops/progress_line.h"

#include <gtest/gtest.h>

#include "fake_ldap.h"

namespace kestrel {
namespace {

// Drawn at once, then at most once in 100 ms on the run's clock; a line written to the
// terminal erases it first, and it is gone at the end.
TEST(ProgressLineTest, RedrawsTenTimesASecondAtMostAndNeverMixes) {
    fake::CapturedConsole console;
    std::int64_t now = 1000;
    std::string expected = "\r0 of 3 done, 0 failed\x1b[K";
    {
        ProgressLine line(
            console.reporter, [&] { return now; }, 3);
        now += 99;
        line.targetDone(false);
        console.reporter.notice("\n");  // standard output: not the terminal, left alone
        console.reporter.problem("ERROR: x\n");
        expected += "\r\x1b[KERROR: x\n";
        EXPECT_EQ(console.err(), expected);
        now += 1;
        line.targetDone(true);
        expected += "\r2 of 3 done, 1 failed, 20/s, 0:01 left\x1b[K";
        EXPECT_EQ(console.err(), expected);
    }
    EXPECT_EQ(console.err(), expected + "\r\x1b[K");
    EXPECT_EQ(console.out(), "\n");
    EXPECT_EQ(ProgressLine::text(1, 7200, 1, 3000), "1 of 7200 done, 1 failed, <1/s, 5:59:57 left");
}

}  // namespace
}  // namespace kestrel
