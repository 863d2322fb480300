#include "cli/usage_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli/switch_list.h"

namespace kestrel {
namespace {

struct Printed {
    int status;
    std::string out;
    std::string err;
};

template <typename Print>
Printed capture(Print print, bool quiet) {
    std::ostringstream out;
    std::ostringstream err;
    Reporter reporter(out, err);
    reporter.quiet = quiet;
    const int status = print(reporter);
    return {status, out.str(), err.str()};
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    EXPECT_EQ(start, text.size()) << "text must end with a newline";
    return lines;
}

TEST(UsageTextTest, HintGoesToStandardErrorEvenWhenQuiet) {
    for (const bool quiet : {false, true}) {
        const Printed p = capture(printUsageHint, quiet);
        EXPECT_EQ(p.status, 1);
        EXPECT_EQ(p.err, "Type Kestrel /help or Kestrel /? for usage assistance.\n\n");
        EXPECT_EQ(p.out, "");
    }
}

TEST(UsageTextTest, FullTextGoesToStandardOutputEvenWhenQuiet) {
    const Printed loud = capture(printUsage, false);
    const Printed quiet = capture(printUsage, true);
    EXPECT_EQ(loud.status, 1);
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(loud.err, "");
    EXPECT_EQ(quiet.out, loud.out);
    EXPECT_EQ(loud.out.rfind("Usage:\n Kestrel [switches] [attr-action]\n\n", 0), 0u);
}

TEST(UsageTextTest, LinesWithTheirTrailingBlank) {
    const std::vector<std::string> lines = linesOf(capture(printUsage, false).out);
    std::vector<std::string> withBlank;
    for (const auto& line : lines) {
        EXPECT_EQ(line.find('\t'), std::string::npos) << line;
        EXPECT_EQ(line.find('\r'), std::string::npos) << line;
        if (!line.empty() && line.back() == ' ') {
            withBlank.push_back(line);
        }
    }
    const std::vector<std::string> expected{
        "              attributes such as GUIDs and SIDs. Binary updates are ",
        "      Removes water from the drink list for kim... ",
        "      Adds vodka to the drink list for kim... ",
        "      Replaces the entire list with just water for kim... ",
        "      Delete all computer objects in specified OU... ",
        "      Move all disabled objects in default domain to specified OU... ",
    };
    EXPECT_EQ(withBlank, expected);
}

TEST(UsageTextTest, LinesWrittenAsTheyAre) {
    const std::vector<std::string> lines = linesOf(capture(printUsage, false).out);
    const std::vector<std::string> mustHave{
        "  Switches: (designated by - or /)",
        "   -mvdelim x X specified delimiter for value sequence. Default ;",
        "   -treedelete  Used in combination of -rm/-del to delete branch",
        "   -json      Write one JSON line per target and a summary; the rest to stderr",
        "              be in Hexidecimal and needs to be an even number of Hex",
        "    harrier -gc -b  -f \"proxyaddresses=*\" -dsq | kestrel -unsafe proxyaddresses:-",
        "              There are two special cases built into KESTREL as of",
        "       Format:  attribute : operation : value(s)",
        "                (blank) Update the attrib with the new value.",
        "    kestrel -b cn=someuser,cn=users,dc=homelab,dc=net #setpwd#::quokkas",
        "      Sets binary blob on some binary based attrib on someuser.",
    };
    for (const auto& line : mustHave) {
        EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line;
    }
    // Every example from Ex1 to Ex15, in order.
    std::size_t at = 0;
    for (int i = 1; i <= 15; ++i) {
        const std::string heading = "  Ex" + std::to_string(i) + ":";
        const auto found = std::find(lines.begin() + static_cast<long>(at), lines.end(), heading);
        ASSERT_NE(found, lines.end()) << heading;
        at = static_cast<std::size_t>(found - lines.begin());
    }
    // The switches without a line of their own stay undocumented.
    for (const char* hidden : {"   -q ", "   -d ", "   -elapsedms", "   -rootdse", "   -help"}) {
        for (const auto& line : lines) {
            EXPECT_NE(line.rfind(hidden, 0), 0u) << line;
        }
    }
}

TEST(UsageTextTest, EachSwitchOfTheListPrintedOnce) {
    const std::string text = capture(printUsage, false).out;
    for (const SwitchEntry& entry : kestrelSwitchList()) {
        if (entry.usage.empty()) {
            continue;
        }
        SCOPED_TRACE(entry.name);
        EXPECT_TRUE(entry.usage.ends_with('\n'));
        const std::string lines = "\n   -" + std::string(entry.name) + std::string(entry.usage);
        std::size_t printed = 0;
        for (auto at = text.find(lines); at != std::string::npos; at = text.find(lines, at + 1)) {
            ++printed;
        }
        EXPECT_EQ(printed, 1u);  // a misnamed usageAfter would lose the lines
    }
}

TEST(UsageTextTest, EndsWithThreeEmptyLinesAndFooter) {
    const std::vector<std::string> lines = linesOf(capture(printUsage, false).out);
    // With the -dryrun, -undo, -window, -f, -revert, -json, -starttls, -binddn, -pwfile,
    // -permissive and -csv lines after the others, and the setbits, clearbits and TIME## lines.
    ASSERT_EQ(lines.size(), 205u);
    const auto last = lines.end() - 9;
    EXPECT_EQ(*last, "      Someuser expires as 2027-02-01 begins (UTC; ISO 8601, or never).");
    EXPECT_EQ(last[1], "");
    EXPECT_EQ(last[2], "");
    EXPECT_EQ(last[3], "");
    for (int i = 4; i < 8; ++i) {
        ASSERT_GE(last[i].size(), 2u);
        EXPECT_EQ(last[i][0], ' ');
        EXPECT_NE(last[i][1], ' ');
    }
    EXPECT_EQ(last[8], "");
}

}  // namespace
}  // namespace kestrel
