#include "cli/target_list.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "util/base64.h"

namespace kestrel {
namespace {

using namespace std::string_literals;

const std::string kLongLineWarning =
    "WARN: Skipped a standard input line longer than 10240 characters.\n";
const std::string kQuotesOnlyWarning =
    "WARN: Skipped a standard input line that held only double quotes.\n";
const std::string kNulWarning = "WARN: Skipped a standard input line that held a NUL byte.\n";

struct Collected {
    DnList targets;
    std::string out;
    std::string err;
};

Collected collect(const std::string& input, const RunSettings& settings = {}, bool quiet = false,
                  bool debug = false) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    Reporter reporter(out, err);
    reporter.quiet = quiet;
    reporter.debug = debug;
    Collected result;
    result.targets = collectTargets(reporter, settings, in);
    result.out = out.str();
    result.err = err.str();
    return result;
}

// One input and all it gives: the targets and the standard output (WARN lines).
struct OutputCase {
    const char* name;
    std::string input;
    DnList expected;
    std::string out;
};

// The same for an input that gives no output at all.
struct StdinCase {
    const char* name;
    std::string input;
    DnList expected;
};

void expectCollected(const char* name, const std::string& input, const DnList& expected,
                     const std::string& expectedOut) {
    SCOPED_TRACE(name);
    const Collected got = collect(input);
    EXPECT_EQ(got.targets, expected);
    EXPECT_EQ(got.out, expectedOut);
    EXPECT_EQ(got.err, "");
}

void expectCollected(const std::vector<OutputCase>& cases) {
    for (const auto& c : cases) {
        expectCollected(c.name, c.input, c.expected, c.out);
    }
}

void expectCollected(const std::vector<StdinCase>& cases) {
    for (const auto& c : cases) {
        expectCollected(c.name, c.input, c.expected, "");
    }
}

// An input whose output is a number of one warning.
struct WarnedCase {
    const char* name;
    std::string input;
    DnList expected;
    int warnings;
};

void expectWarned(const std::vector<WarnedCase>& cases, const std::string& warning) {
    for (const auto& c : cases) {
        std::string warnings;
        for (int i = 0; i < c.warnings; ++i) {
            warnings += warning;
        }
        expectCollected(c.name, c.input, c.expected, warnings);
    }
}

TEST(CollectTargetsTest, StandardInputLines) {
    const std::vector<StdinCase> cases{
        {"skips empty and blank-led lines, drops quotes",
         "cn=a\n\n cn=b\n\"cn=c\"\n",
         {"cn=a", "cn=c"}},
        {"carriage return before the newline", "cn=a\r\ncn=b\r\n", {"cn=a", "cn=b"}},
        {"only one carriage return goes", "cn=a\r\r\n", {"cn=a\r"}},
        {"carriage return elsewhere stays", "cn=a\rb\n", {"cn=a\rb"}},
        {"last line without newline", "cn=a\ncn=last", {"cn=a", "cn=last"}},
        {"tabs and trailing blanks kept", "\tcn=a \n", {"\tcn=a "}},
        {"blank in the middle kept", "cn=kim smith,dc=x\n", {"cn=kim smith,dc=x"}},
        {"unescaped quotes anywhere removed", "\"cn=a\"b\"\"c\"\n", {"cn=abc"}},
        // An escaped quote is part of the value: removing it would name another object.
        {"escaped quote kept with its backslash", "cn=a\\\"b\"\"c\n", {"cn=a\\\"bc"}},
        {"escaped quote and comma", "CN=a\\\"\\,OU=Admins,DC=x\n", {"CN=a\\\"\\,OU=Admins,DC=x"}},
        {"escaped backslash, then a quote that goes", "cn=a\\\\\"b\n", {"cn=a\\\\b"}},
        {"three backslashes escape the quote", "cn=a\\\\\\\"b\n", {"cn=a\\\\\\\"b"}},
        {"duplicates kept in order", "cn=b\ncn=a\ncn=b\n", {"cn=b", "cn=a", "cn=b"}},
        {"lone carriage return line is empty", "\r\ncn=a\n", {"cn=a"}},
        {"only empty lines", "\n\n\n", {}},
        {"nothing at all", "", {}},
        {"only blank-led lines", " cn=a\n  \n", {}},
    };
    expectCollected(cases);
}

// The empty DN names the RootDSE; on standard input it can only come from a line that
// was nothing but quotes, which is skipped with a warning instead.
TEST(CollectTargetsTest, QuotesOnlyLinesSkipped) {
    const std::vector<WarnedCase> cases{
        {"two quotes", "\"\"\n", {}, 1},
        {"one quote", "\"\n", {}, 1},
        {"many quotes, carriage return", "\"\"\"\"\"\r\n", {}, 1},
        {"last line without newline", "cn=a\n\"\"", {"cn=a"}, 1},
        {"between targets, order kept",
         "cn=a\n\"\"\ncn=b\n\"\ncn=c\n",
         {"cn=a", "cn=b", "cn=c"},
         2},
        {"quoted blank is a DN, not a RootDSE", "\" \"\n", {" "}, 0},
        {"quote then blank-led text is kept", "\" cn=a\"\n", {" cn=a"}, 0},
        {"blank before the quotes: skipped silently", " \"\"\n", {}, 0},
    };
    expectWarned(cases, kQuotesOnlyWarning);
    // Warnings explain what the run will not do, so quiet keeps them.
    EXPECT_EQ(collect("\"\"\n", {}, true).out, kQuotesOnlyWarning);
}

// A DN travels to the directory as a C string: "cn=a\0,dc=x" would arrive as "cn=a".
TEST(CollectTargetsTest, LinesWithNulSkipped) {
    expectCollected({
        {"NUL inside", "cn=a\0b\ncn=c\n"s, {"cn=c"}, kNulWarning},
        {"NUL at the end", "ou=a,dc=x\0,dc=y\n"s, {}, kNulWarning},
        {"NUL alone, last line", "cn=c\n\0"s, {"cn=c"}, kNulWarning},
        {"blank-led line with NUL skipped silently", " cn=a\0\n"s, {}, ""},
        {"over-long line with NUL: one warning, the length one",
         std::string(kTargetLineBuffer, 'x') + "\0\n"s,
         {},
         kLongLineWarning},
        {"quotes and NUL: the NUL decides", "\"\0\"\n"s, {}, kNulWarning},
    });
    EXPECT_EQ(collect("\0\n"s, {}, true).out, kNulWarning);  // also when quiet
}

TEST(CollectTargetsTest, LineLengthLimit) {
    const std::string full(kTargetLineBuffer, 'x');
    const std::string over(kTargetLineBuffer + 1, 'y');
    const std::string huge(300000, 'z');  // spans several read blocks

    const std::vector<WarnedCase> cases{
        {"full-length line taken", full + "\ncn=a\n", {full, "cn=a"}, 0},
        {"full-length line with carriage return taken", full + "\r\n", {full}, 0},
        {"one over skipped, never truncated", "cn=a\n" + over + "\ncn=b\n", {"cn=a", "cn=b"}, 1},
        {"one over with carriage return skipped", over + "\r\ncn=b\n", {"cn=b"}, 1},
        {"huge line skipped whole", huge + "\ncn=next\n", {"cn=next"}, 1},
        {"long last line without newline", "cn=a\n" + huge, {"cn=a"}, 1},
        {"one warning per long line", over + "\n" + huge + "\n" + over, {}, 3},
        {"quotes count towards the length", "\"" + full + "\"\n", {}, 1},
        {"long blank-led line still warned", " " + full + "\n", {}, 1},
    };
    expectWarned(cases, kLongLineWarning);
}

// ldapsearch's LDIF: the first line that is neither empty, blank-led nor a comment decides.
TEST(CollectTargetsTest, LdifOutputOfASearch) {
    // "CN=José Müller,OU=Staff,DC=x" and a DN too long for one line, as ldapsearch folds it.
    const std::string jose = "CN=Jos\xc3\xa9 M\xc3\xbcller,OU=Staff,DC=x";
    const std::string joseBase64 = "Q049Sm9zw6kgTcO8bGxlcixPVT1TdGFmZixEQz14";
    const std::string longDn = "CN=" + std::string(200, 'a') + ",OU=Staff,DC=x";
    std::string folded = "dn: " + longDn.substr(0, 72);
    for (std::size_t at = 72; at < longDn.size(); at += 75) {
        folded += "\n " + longDn.substr(at, 75);
    }
    const std::vector<StdinCase> cases{
        {"non-ASCII DN in base64", "dn:: " + joseBase64 + "\n\n", {jose}},
        {"base64 folded, lower-case name, no blank after the colons",
         "DN::Q049Sm9zw6kgTcO8bGxl\n cixPVT1TdGFmZixEQz14\n",
         {jose}},
        {"folded long DN", folded + "\n\n", {longDn}},
        {"version line, CRLF line ends", "version: 1\r\n\r\ndn: cn=a,dc=x\r\n\r\n", {"cn=a,dc=x"}},
        {"comments, also folded and before the first entry",
         "# extended LDIF\n#\n# requesting: 1.1\n# a comment folded\n  dn: cn=no\n\n"
         "# a, x\ndn: cn=a,dc=x\n\n",
         {"cn=a,dc=x"}},
        {"search and result trailer lines, paged results",
         "dn: cn=a,dc=x\n\n# search result\nsearch: 4\nresult: 0 Success\n"
         "control: 1.2.840.113556.1.4.319 false MAUCAQAEAA==\npagedresults: cookie=\n\n"
         "# pagedresults: cookie=\n# numEntries: 1\n",
         {"cn=a,dc=x"}},
        {"attribute lines, folded or not, and dnQualifier are no DNs",
         "dn: cn=a,dc=x\ndescription: dn: cn=no\n folded dn: cn=no\ndnQualifier: q\n"
         "jpegPhoto:: AAEC\ncn: a\n\ndn: cn=b,dc=x\nmember: cn=no\n",
         {"cn=a,dc=x", "cn=b,dc=x"}},
        {"quotes stay, trailing blanks stay, blanks after the colon go",
         "dn:   cn=\"a\" ,dc=x\n",
         {"cn=\"a\" ,dc=x"}},
        {"an entry without the blank line before the next", "dn: cn=a\ndn: cn=b", {"cn=a", "cn=b"}},
        {"an over-long attribute line is ignored silently",
         "dn: cn=a\njpegPhoto:: " + std::string(30000, 'A') + "\ndn: cn=b\n",
         {"cn=a", "cn=b"}},
        // Plain lists keep their reading: the first deciding line is a DN.
        {"plain list with a later dn: line", "cn=a\ndn: cn=b\n", {"cn=a", "dn: cn=b"}},
        {"plain list after a comment and a blank-led line",
         "# list\n dn: x\ncn=a\n",
         {"# list", "cn=a"}},
        {"plain list of comments only", "# one\n#two\n", {"# one", "#two"}},
    };
    expectCollected(cases);
}

// The checks that keep a DN from naming something else hold for LDIF too, quiet or not.
TEST(CollectTargetsTest, LdifEntriesSkippedWithAWarning) {
    const std::string kLong =
        "WARN: Skipped an LDIF entry whose DN is longer than 10240 characters.\n";
    const std::string kNul = "WARN: Skipped an LDIF entry whose DN held a NUL byte.\n";
    const std::string kRootDse = "WARN: Skipped an LDIF entry with an empty DN (the RootDSE).\n";
    const std::string kNotBase64 = "WARN: Skipped an LDIF entry whose dn:: value is not base64.\n";
    const std::string kUrl = "WARN: Skipped an LDIF entry whose DN is given as a URL.\n";
    const std::string longText(kTargetLineBuffer + 1, 'x');
    struct Case {
        const char* name;
        std::string input;
        std::string out;
    };
    const std::vector<Case> cases{
        {"empty DN: the RootDSE", "dn:\n\ndn: cn=a\n", kRootDse},
        {"empty DN of blanks", "dn:   \n", kRootDse},
        {"empty base64 DN", "dn::\n", kRootDse},
        {"NUL in a base64 DN", "dn:: Y249YQBiLGRjPXg=\ndn: cn=a\n", kNul},  // "cn=a\0b,dc=x"
        {"not base64", "dn:: Y249YQ\ndn: cn=a\n", kNotBase64},
        {"padding inside", "dn:: Y2==YQ==\ndn: cn=a\n", kNotBase64},
        {"a URL", "dn:< file:///etc/passwd\ndn: cn=a\n", kUrl},
        {"one line too long", "dn: " + longText + "\ndn: cn=a\n", kLong},
        {"folded too long", "dn: cn=x\n " + longText + "\ndn: cn=a\n", kLong},
        {"decoded too long, folded",
         "dn:: " + std::string(8000, 'Q') + "\n " + std::string(5656, 'Q') + "\ndn: cn=a\n", kLong},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Collected got = collect(c.input);
        const DnList expected =
            c.input.find("dn: cn=a") != std::string::npos ? DnList{"cn=a"} : DnList{};
        EXPECT_EQ(got.targets, expected);
        EXPECT_EQ(got.out, c.out);
        EXPECT_EQ(collect(c.input, {}, true).out, c.out);  // also when quiet
    }
}

// Lines of LDIF input that are no LDIF are named, and a byte order mark is no part of
// the first line; the DN limit holds for the DN, not for the line that carries it.
TEST(CollectTargetsTest, LdifLinesNotTakenAndByteOrderMark) {
    const auto notLdif = [](int line, const std::string& shown) {
        return "WARN: Skipped standard input line " + std::to_string(line) +
               ", which is not LDIF: " + shown + "\n";
    };
    const std::string fullDn = "CN=" + std::string(kTargetLineBuffer - 3, 'd');
    expectCollected({
        {"plain DNs after a version line",
         "version: 1\ncn=a,dc=x\r\n\ncn=b,dc=x\n",
         {},
         notLdif(2, "\"cn=a,dc=x\"") + notLdif(4, "\"cn=b,dc=x\"")},
        {"control characters shown as escapes, long lines in part",
         "dn: cn=a\ncn=\x1b[2J\xc2\x9b\n" + std::string(81, 'x') + "\n",
         {"cn=a"},
         notLdif(2, "\"cn=\\x1B[2J\\xC2\\x9B\"") +
             notLdif(3, '"' + std::string(80, 'x') + "\"...")},
        {"a colon that follows no attribute name",
         "dn: cn=a\nCN=a:b,DC=x\n: x\n-x\n;lang-en: x\n",
         {"cn=a"},
         notLdif(2, "\"CN=a:b,DC=x\"") + notLdif(3, "\": x\"") + notLdif(4, "\"-x\"") +
             notLdif(5, "\";lang-en: x\"")},
        {"every kind of LDIF line is silent",
         "version: 1\n# c\ndn: cn=a\nchangetype: modify\nreplace: description;lang-en\n"
         "description:: AAEC\n-\njpegPhoto:< file:///x\n2.5.4.3: a\n folded\n\n"
         "# search result\nsearch: 2\nresult: 0 Success\n\n# numResponses: 2\n",
         {"cn=a"},
         ""},
        {"byte order mark before a DN list",
         "\xEF\xBB\xBF"
         "cn=a\ncn=b\n",
         {"cn=a", "cn=b"},
         ""},
        {"byte order mark before LDIF",
         "\xEF\xBB\xBF"
         "dn: cn=a\nobjectClass: user\n",
         {"cn=a"},
         ""},
        {"longest DN on one line", "dn: " + fullDn + "\n", {fullDn}, ""},
        {"longest DN in base64 on one line", "dn:: " + encodeBase64(fullDn) + "\n", {fullDn}, ""},
    });
}

TEST(CollectTargetsTest, LongLineWarningAlsoWhenQuiet) {
    const Collected got = collect(std::string(kTargetLineBuffer + 1, 'q') + "\n", {}, true);
    EXPECT_TRUE(got.targets.empty());
    EXPECT_EQ(got.out, kLongLineWarning);
}

TEST(CollectTargetsTest, DebugAnnouncesStandardInput) {
    EXPECT_EQ(collect("cn=a\n", {}, false, true).out, "DEBUG: Reading in STDIN...\n");
    EXPECT_EQ(collect("cn=a\n", {}, false, false).out, "");
}

TEST(CollectTargetsTest, BaseDnGivenIgnoresStandardInput) {
    struct Case {
        const char* name;
        std::string baseDn;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"plain", "cn=kim,dc=homelab,dc=net", "cn=kim,dc=homelab,dc=net"},
        {"quotes removed", "\"cn=a,dc=x\"", "cn=a,dc=x"},
        {"escaped quote kept", "\"cn=a\\\"b\"", "cn=a\\\"b"},
        {"RootDSE marker", "\"\"", ""},
        {"empty value", "", ""},
        {"blank-led value not skipped", " cn=a", " cn=a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunSettings settings;
        settings.baseDn = c.baseDn;
        settings.baseDnGiven = true;
        std::istringstream in("cn=piped\n");
        std::ostringstream out;
        std::ostringstream err;
        Reporter reporter(out, err);
        reporter.debug = true;
        EXPECT_EQ(collectTargets(reporter, settings, in), (DnList{c.expected}));
        EXPECT_EQ(out.str(), "");  // no "Reading in STDIN" either
        std::string untouched;
        std::getline(in, untouched);
        EXPECT_EQ(untouched, "cn=piped");
    }
}

// Speed is measured by the benchmarks; this checks that a long list arrives whole.
TEST(CollectTargetsTest, LongListArrivesWhole) {
    const int lines = 200000;
    std::string input;
    input.reserve(45u * static_cast<std::size_t>(lines));
    for (int i = 0; i < lines; ++i) {
        input += "cn=user" + std::to_string(i) + ",ou=people,dc=homelab,dc=net\n";
    }
    const Collected got = collect(input);
    ASSERT_EQ(got.targets.size(), static_cast<std::size_t>(lines));
    EXPECT_EQ(got.targets.front(), "cn=user0,ou=people,dc=homelab,dc=net");
    EXPECT_EQ(got.targets.back(),
              "cn=user" + std::to_string(lines - 1) + ",ou=people,dc=homelab,dc=net");
}

struct CheckCase {
    const char* name;
    std::size_t count;
    RunMode mode;
    std::int32_t safety;
    bool quiet;
    bool goOn;
    int status;
    std::string out;
};

TEST(CheckTargetsTest, CountAndStops) {
    const std::string kEmpty =
        "\nNo object DNs to update.\n\nThe command completed successfully.\n\n";
    const auto safety = [](const std::string& limit) {
        return "\nMore DNs than allowed for by safety setting of " + limit +
               "\nUse safety parameter to specify larger safety size.\n\n"
               "The command did not complete successfully\n";
    };
    const std::string kRename =
        "ERROR: Rename requires single DN\n\nThe command did not complete successfully.\n\n";

    const std::vector<CheckCase> cases{
        {"one target", 1, RunMode::Modify, 10, false, true, 0, "DN Count: 1\n"},
        {"quiet hides the count", 1, RunMode::Modify, 10, true, true, 0, ""},
        {"empty list", 0, RunMode::Modify, 10, false, false, 0, "DN Count: 0\n" + kEmpty},
        {"empty list when quiet", 0, RunMode::Delete, 10, true, false, 0, kEmpty},
        {"at the limit", 10, RunMode::Delete, 10, false, true, 0, "DN Count: 10\n"},
        {"over the limit", 11, RunMode::Delete, 10, false, false, -1,
         "DN Count: 11\n" + safety("10")},
        {"over the limit when quiet", 11, RunMode::Add, 10, true, false, -1, safety("10")},
        {"safety zero refuses one", 1, RunMode::Modify, 0, false, false, -1,
         "DN Count: 1\n" + safety("0")},
        {"no limit", 5000, RunMode::Delete, -1, false, true, 0, "DN Count: 5000\n"},
        {"any negative limit is none", 5000, RunMode::Move, -7, false, true, 0, "DN Count: 5000\n"},
        {"rename one", 1, RunMode::Rename, 10, false, true, 0, "DN Count: 1\n"},
        {"rename two", 2, RunMode::Rename, 10, false, false, -1, "DN Count: 2\n" + kRename},
        {"rename two when quiet", 2, RunMode::Rename, 10, true, false, -1, kRename},
        {"safety before rename", 11, RunMode::Rename, 10, false, false, -1,
         "DN Count: 11\n" + safety("10")},
        {"several targets for other modes", 3, RunMode::Undelete, 10, false, true, 0,
         "DN Count: 3\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunSettings settings;
        settings.mode = c.mode;
        settings.safetyLimit = c.safety;
        const DnList targets(c.count, "cn=x");
        std::ostringstream out;
        std::ostringstream err;
        Reporter reporter(out, err);
        reporter.quiet = c.quiet;
        const Verdict refusal = checkTargets(reporter, settings, targets);
        EXPECT_EQ(!refusal.has_value(), c.goOn);
        if (refusal) {
            EXPECT_EQ(writeRefusal(reporter, *refusal), c.status);
        }
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), "");
    }
}

}  // namespace
}  // namespace kestrel
