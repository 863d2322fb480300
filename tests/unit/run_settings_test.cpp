#include "cli/settings_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "cli/switch_list.h"

namespace kestrel {
namespace {

using Texts = std::vector<std::string>;

struct Settled {
    RunSettings settings;
    std::string out;
    std::string err;
    Texts positionals;
};

// Runs the command line through the same steps as the program: parse, validate against
// the program's own switches, read the settings.
Settled settle(const Texts& args, bool quiet = false) {
    std::vector<const char*> argv{"kestrel"};
    for (const auto& arg : args) {
        argv.push_back(arg.c_str());
    }
    SwitchTable switches(static_cast<int>(argv.size()), argv.data(), false, kestrelSwitchList());
    EXPECT_EQ(switches.validate(), 0) << "command line should be valid";
    std::ostringstream out;
    std::ostringstream err;
    Reporter reporter(out, err);
    reporter.quiet = quiet;
    Settled result;
    result.settings = readRunSettings(reporter, switches);
    result.out = out.str();
    result.err = err.str();
    result.positionals = switches.positionals();
    return result;
}

TEST(ReadNumberTest, ReadsLeadingDecimal) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const std::vector<std::pair<std::string, std::int32_t>> cases{
        {"120", 120},
        {"5x", 5},
        {"abc", 0},
        {"", 0},
        {"  +42", 42},
        {"\t\n 7", 7},
        {"-5", -5},
        {"-0", 0},
        {"0012", 12},
        {"- 5", 0},
        {"+-5", 0},
        {"--5", 0},
        {"x5", 0},
        {"3 4", 3},
        {"1.9", 1},
        {"2147483647", kMax},
        {"-2147483648", kMin},
        {"2147483648", kMax},  // saturates instead of wrapping negative
        {"-2147483649", kMin},
        {"99999999999999999999999", kMax},
        {"-99999999999999999999999", kMin},
        {std::string("4\0"
                     "2",
                     3),
         4},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE("text: [" + text + "]");
        EXPECT_EQ(readNumber(text), expected);
    }
}

TEST(KestrelSwitchListTest, KnowsEverySwitchAndWhatItTakes) {
    const SwitchList list = kestrelSwitchList();
    EXPECT_EQ(list.size(), 36u);

    // Every flag hands back the argument behind it; every valued switch keeps it, and a
    // file switch even a switch word.
    const Texts flags{"q",         "d",      "help",     "?",         "elapsed",
                      "elapsedms", "exterr", "rm",       "del",       "treedelete",
                      "unsafe",    "cont",   "rootdse",  "add",       "kerbenc",
                      "dryrun",    "json",   "starttls", "permissive"};
    const Texts valued{"h",      "b",      "t",       "rename", "move", "p",
                       "safety", "delim",  "mvdelim", "undel",  "undo", "window",
                       "f",      "revert", "binddn",  "pwfile", "csv"};
    const Texts files{"undo", "f", "revert", "pwfile", "csv"};
    for (const auto& name : flags) {
        SCOPED_TRACE("flag " + name);
        const std::string word = "-" + name;
        const char* argv[] = {"kestrel", word.c_str(), "attr::v"};
        SwitchTable table(3, argv, false, list);
        EXPECT_EQ(table.validate(), 0);
        EXPECT_EQ(table.positionals(), (Texts{"attr::v"}));
    }
    for (const auto& name : valued) {
        SCOPED_TRACE("valued " + name);
        const std::string word = "/" + name;
        for (const std::string value : {"v", "-q"}) {
            const char* argv[] = {"kestrel", word.c_str(), value.c_str()};
            SwitchTable table(3, argv, false, list);
            EXPECT_EQ(table.validate(), 0);
            EXPECT_TRUE(table.positionals().empty());
            const bool file = std::find(files.begin(), files.end(), name) != files.end();
            EXPECT_EQ(table.value(name), value == "v" || file ? value : "");
        }
    }
}

TEST(KestrelSwitchListTest, FlagsHandBackWhatTheySwallowedInTheirHistoricOrder) {
    // The order of the attribute-actions in the request; the usage text's order differs.
    const Settled s = settle(
        {"-kerbenc", "a::1", "-treedelete", "b::2", "-add", "c::3", "-cont", "d::4", "e::5"});
    EXPECT_EQ(s.positionals, (Texts{"e::5", "b::2", "d::4", "c::3", "a::1"}));
}

TEST(ReadRunSettingsTest, Defaults) {
    const Settled s = settle({"a::b"});
    EXPECT_EQ(s.settings.host, "");
    EXPECT_EQ(s.settings.port, 0);
    EXPECT_EQ(s.settings.timeoutSeconds, 120);
    EXPECT_EQ(s.settings.safetyLimit, 10);
    EXPECT_EQ(s.settings.baseDn, "");
    EXPECT_FALSE(s.settings.baseDnGiven);
    EXPECT_EQ(s.settings.attrDelimiter, ":");
    EXPECT_EQ(s.settings.mvDelimiter, ";");
    EXPECT_EQ(s.settings.mode, RunMode::None);  // the driver turns this into Modify
    EXPECT_EQ(s.settings.newRdn, "");
    EXPECT_EQ(s.settings.newParent, "");
    EXPECT_FALSE(s.settings.showElapsedSeconds);
    EXPECT_FALSE(s.settings.showElapsedMs);
    EXPECT_FALSE(s.settings.showExtendedError);
    EXPECT_FALSE(s.settings.treeDelete);
    EXPECT_FALSE(s.settings.continueOnError);
    EXPECT_FALSE(s.settings.kerberosEncryption);
    EXPECT_EQ(s.out, "");
    EXPECT_EQ(s.err, "");
}

TEST(ReadRunSettingsTest, FlagsAndValues) {
    const Settled s =
        settle({"-h", "dc1.homelab.net", "-p", "3268", "-t", "30", "-elapsed", "-ELAPSEDMS",
                "-exterr", "-treedelete", "-cont", "-kerbenc", "-delim", "||", "-mvdelim", ","});
    EXPECT_EQ(s.settings.host, "dc1.homelab.net");
    EXPECT_EQ(s.settings.port, 3268);
    EXPECT_EQ(s.settings.timeoutSeconds, 30);
    EXPECT_TRUE(s.settings.showElapsedSeconds);
    EXPECT_TRUE(s.settings.showElapsedMs);
    EXPECT_TRUE(s.settings.showExtendedError);
    EXPECT_TRUE(s.settings.treeDelete);
    EXPECT_TRUE(s.settings.continueOnError);
    EXPECT_TRUE(s.settings.kerberosEncryption);
    EXPECT_EQ(s.settings.attrDelimiter, "||");
    EXPECT_EQ(s.settings.mvDelimiter, ",");
}

struct NumberSwitchCase {
    const char* name;
    Texts args;
    std::int32_t timeout;
    std::int32_t safety;
    std::int32_t port;
};

TEST(ReadRunSettingsTest, NumberSwitches) {
    const std::vector<NumberSwitchCase> cases{
        // A time limit of 0 or less is kept as read; the session waits without limit then.
        {"time limit not a number", {"-t", "abc"}, 0, 10, 0},
        {"time limit without value", {"-t"}, 0, 10, 0},
        {"negative time limit", {"-t", "-3"}, -3, 10, 0},
        {"safety zero", {"-safety", "0"}, 120, 0, 0},
        {"safety without value", {"-safety"}, 120, 0, 0},
        {"negative safety is a value", {"-safety", "-1"}, 120, -1, 0},
        {"unsafe after safety", {"-safety", "5", "-unsafe"}, 120, -1, 0},
        {"unsafe before safety still wins", {"-unsafe", "-safety", "5"}, 120, -1, 0},
        {"port with trailing text", {"-p", "636x"}, 120, 10, 636},
        {"port without value", {"-p"}, 120, 10, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Texts args = c.args;
        args.insert(args.begin(), "a::b");  // in front, so that no switch takes it
        const Settled s = settle(args);
        EXPECT_EQ(s.settings.timeoutSeconds, c.timeout);
        EXPECT_EQ(s.settings.safetyLimit, c.safety);
        EXPECT_EQ(s.settings.port, c.port);
    }
}

TEST(ReadRunSettingsTest, DelimitersTakenUnchanged) {
    // An empty delimiter is kept as the user gave it, whether as an empty argument or by
    // giving the switch last.
    const Settled s = settle({"-mvdelim", "", "-delim"});
    EXPECT_EQ(s.settings.attrDelimiter, "");
    EXPECT_EQ(s.settings.mvDelimiter, "");
    const Settled multi = settle({"-delim", "#:#", "-mvdelim", ";;"});
    EXPECT_EQ(multi.settings.attrDelimiter, "#:#");
    EXPECT_EQ(multi.settings.mvDelimiter, ";;");
}

struct BaseCase {
    const char* name;
    Texts args;
    bool given;
    std::string baseDn;
    bool rootDseMessage;
};

TEST(ReadRunSettingsTest, BaseDnAndRootDse) {
    const std::string kTwoQuotes = "\"\"";
    const std::vector<BaseCase> cases{
        {"plain base", {"-b", "cn=kim,dc=homelab,dc=net"}, true, "cn=kim,dc=homelab,dc=net", false},
        {"quotes kept until the target list", {"-b", "\"cn=x\""}, true, "\"cn=x\"", false},
        {"empty base is the RootDSE without the message", {"-b"}, true, "", false},
        {"rootdse switch", {"-rootdse"}, true, kTwoQuotes, true},
        {"rootdse switch beats -b", {"-b", "cn=x", "-rootdse"}, true, kTwoQuotes, true},
        {"-b RootDSE", {"-b", "RootDSE"}, true, kTwoQuotes, true},
        {"-b rootdse with more behind", {"-b", "rootdse,dc=x"}, true, kTwoQuotes, true},
        {"-b ROOTDSEX", {"-b", "ROOTDSEX"}, true, kTwoQuotes, true},
        {"-b rootds is an ordinary DN", {"-b", "rootds"}, true, "rootds", false},
        {"leading blank is not the RootDSE", {"-b", " rootdse"}, true, " rootdse", false},
        {"no base", {}, false, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Texts args = c.args;
        args.insert(args.begin(), "a::b");  // in front, so that no switch takes it
        const Settled s = settle(args);
        EXPECT_EQ(s.settings.baseDnGiven, c.given);
        EXPECT_EQ(s.settings.baseDn, c.baseDn);
        EXPECT_EQ(s.out, c.rootDseMessage ? "Modifying ROOTDSE...\n" : "");
        EXPECT_EQ(s.err, "");
    }
}

TEST(ReadRunSettingsTest, RootDseMessageAlsoWhenQuiet) {
    const Settled s = settle({"-q", "-rootdse"}, true);
    EXPECT_EQ(s.out, "Modifying ROOTDSE...\n");
}

struct ModeCase {
    const char* name;
    Texts args;
    RunMode mode;
    std::string newRdn;
    std::string newParent;
};

TEST(ReadRunSettingsTest, ModePrecedence) {
    const std::vector<ModeCase> cases{
        {"rm", {"-rm"}, RunMode::Delete, "", ""},
        {"del", {"-del"}, RunMode::Delete, "", ""},
        {"rm beats rename", {"-rm", "-rename", "cn=y"}, RunMode::Delete, "", ""},
        {"del beats move, move value unread", {"-move", "ou=x", "-del"}, RunMode::Delete, "", ""},
        {"rename beats move", {"-rename", "cn=y", "-move", "ou=x"}, RunMode::Rename, "cn=y", ""},
        {"move beats undel", {"-move", "ou=x", "-undel"}, RunMode::Move, "", "ou=x"},
        {"undel beats add", {"-undel", "-add"}, RunMode::Undelete, "", ""},
        {"undel with parent", {"-undel", "ou=back"}, RunMode::Undelete, "", "ou=back"},
        {"add", {"-add"}, RunMode::Add, "", ""},
        {"rename without value", {"-rename"}, RunMode::Rename, "", ""},
        {"no mode switch", {"-cont"}, RunMode::None, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Settled s = settle(c.args);
        EXPECT_EQ(s.settings.mode, c.mode);
        EXPECT_EQ(s.settings.newRdn, c.newRdn);
        EXPECT_EQ(s.settings.newParent, c.newParent);
    }
}

// A file name is taken whatever it begins with, and the switch names ignore case; -f wins
// over every other mode switch, which the driver then refuses.
TEST(ReadRunSettingsTest, RecordFileSwitches) {
    struct Row {
        Texts args;
        RunMode mode;
        std::string file;
        bool entriesAreAdds;
    };
    const std::vector<Row> rows = {
        {{"-f", "hr.ldif"}, RunMode::ApplyRecords, "hr.ldif", false},
        {{"-F", "-"}, RunMode::ApplyRecords, "-", false},
        {{"/f", "-rm", "-add"}, RunMode::ApplyRecords, "-rm", true},
        {{"-rm", "-REVERT", "/tmp/run.undo"}, RunMode::Revert, "/tmp/run.undo", false},
        {{"-revert", "-f"}, RunMode::Revert, "-f", false},
        {{"-revert", "j", "-f", "x"}, RunMode::ApplyRecords, "x", false},
    };
    for (const Row& row : rows) {
        std::vector<const char*> argv{"kestrel"};
        for (const auto& arg : row.args) {
            argv.push_back(arg.c_str());
        }
        SwitchTable switches(static_cast<int>(argv.size()), argv.data(), false,
                             kestrelSwitchList());
        EXPECT_EQ(switches.validate(), 0);
        std::ostringstream out;
        Reporter reporter(out, out);
        const RunSettings settings = readRunSettings(reporter, switches);
        EXPECT_EQ(settings.mode, row.mode) << row.args.front();
        EXPECT_EQ(settings.recordFile, row.file);
        EXPECT_EQ(settings.entriesAreAdds, row.entriesAreAdds);
    }
}

}  // namespace
}  // namespace kestrel
