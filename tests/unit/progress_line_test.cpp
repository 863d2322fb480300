#include "ops/progress_line.h"

#include <gtest/gtest.h>

#include "fake_ldap.h"

namespace kestrel {
namespace {

TEST(ProgressLineTest, TheTextGivesDoneFailuresRateAndTimeLeft) {
    struct Row {
        std::size_t done, total, failed;
        std::int64_t elapsedMs;
        const char* text;
    };
    const std::vector<Row> rows{
        {0, 50000, 0, 0, "0 of 50000 done, 0 failed"},
        {0, 50000, 0, 900, "0 of 50000 done, 0 failed"},
        {1200, 50000, 3, 2000, "1200 of 50000 done, 3 failed, 600/s, 1:22 left"},
        {1, 7200, 1, 1000, "1 of 7200 done, 1 failed, 1/s, 1:59:59 left"},
        {1, 10, 0, 3000, "1 of 10 done, 0 failed, <1/s, 0:27 left"},
        {10, 10, 0, 5, "10 of 10 done, 0 failed, 2000/s, 0:00 left"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ProgressLine::text(row.done, row.total, row.failed, row.elapsedMs), row.text);
    }
}

// Drawn at once, then at most once in 100 ms on the run's clock; any other line written to
// the terminal erases it first, and it is gone at the end.
TEST(ProgressLineTest, RedrawsTenTimesASecondAtMostAndNeverMixes) {
    fake::CapturedConsole console;
    console.reporter.quiet = true;
    std::int64_t now = 1000;
    std::string expected = "\r0 of 3 done, 0 failed\x1b[K";
    {
        ProgressLine line(
            console.reporter, [&] { return now; }, 3);
        EXPECT_EQ(console.err(), expected);
        now += 99;
        line.targetDone(false);
        EXPECT_EQ(console.err(), expected);
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
}

// With standard output on the same terminal, its lines erase the status too, and no
// status is drawn into a line still being written there.
TEST(ProgressLineTest, SharingTheTerminalWithStandardOutput) {
    fake::CapturedConsole console;
    console.reporter.statusSharesTerminal = true;
    std::int64_t now = 0;
    ProgressLine line(
        console.reporter, [&] { return now; }, 2);
    console.reporter.info("   DN: cn=a...");
    now += 500;
    line.targetDone(false);
    console.reporter.info("\n");
    now += 500;
    line.targetDone(false);
    EXPECT_EQ(console.both(),
              "\r0 of 2 done, 0 failed\x1b[K\r\x1b[K   DN: cn=a...\n"
              "\r2 of 2 done, 0 failed, 2/s, 0:00 left\x1b[K");
}

}  // namespace
}  // namespace kestrel
