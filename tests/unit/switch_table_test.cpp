#include "cli/switch_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

using Texts = std::vector<std::string>;

using enum SwitchKind;

const SwitchList kList{
    {"q"},         {"d"}, {"help"}, {"?"}, {"b", Value}, {"safety", Value}, {"undel", Value},
    {"undo", File}};

// Builds a table from arguments as the process would receive them (argv[0] first).
SwitchTable parse(const Texts& args, bool caseSensitive = false, const SwitchList& list = kList) {
    std::vector<const char*> argv{"kestrel"};
    for (const auto& arg : args) {
        argv.push_back(arg.c_str());
    }
    return SwitchTable(static_cast<int>(argv.size()), argv.data(), caseSensitive, list);
}

struct ValueCase {
    const char* name;
    Texts args;
    std::string switchName;
    bool present;
    std::string value;
};

TEST(SwitchTableTest, SwitchValues) {
    const std::vector<ValueCase> cases{
        {"upper and lower name the same switch", {"-B", "x"}, "b", true, "x"},
        {"lookup folds too", {"-b", "x"}, "B", true, "x"},
        {"slash introduces a switch", {"/HELP"}, "help", true, ""},
        {"negative number is a value", {"-safety", "-5"}, "safety", true, "-5"},
        {"switch word is not a value", {"-safety", "-x"}, "safety", true, ""},
        {"slash word is not a value", {"-b", "/x"}, "b", true, ""},
        {"last switch has no value", {"a::b", "-b"}, "b", true, ""},
        {"repeated switch: last value wins", {"-b", "one", "-b", "two"}, "b", true, "two"},
        {"repeated switch without value empties", {"-b", "one", "-b"}, "b", true, ""},
        {"only the next argument is a value", {"-b", "one", "two"}, "b", true, "one"},
        {"double dash names dash-x", {"--x", "v"}, "-x", true, "v"},
        {"absent switch", {"-q"}, "b", false, ""},
        {"bare dash has the empty name", {"-"}, "", true, ""},
        {"bare slash has the empty name", {"/"}, "", true, ""},
        {"value may be empty text", {"-b", ""}, "b", true, ""},
        {"a file name may start with a slash", {"-UNDO", "/var/j"}, "undo", true, "/var/j"},
        {"or a dash", {"-undo", "-q"}, "undo", true, "-q"},
        {"and then the next is a switch", {"-undo", "-q", "-q"}, "q", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SwitchTable table = parse(c.args);
        EXPECT_EQ(table.has(c.switchName), c.present);
        EXPECT_EQ(table.value(c.switchName), c.value);
    }
}

struct ValidateCase {
    const char* name;
    Texts args;
    int problems;
    Texts unknown;
    Texts missing;
    Texts positionals;
};

TEST(SwitchTableTest, ValidateAgainstTheList) {
    const std::vector<ValidateCase> cases{
        {"flag hands back what it swallowed",
         {"-q", "cn:x:1", "a::b"},
         0,
         {},
         {},
         {"a::b", "cn:x:1"}},
        {"released values follow the order of the flag entries",
         {"-d", "one", "-q", "two", "three"},
         0,
         {},
         {},
         {"three", "two", "one"}},
        {"valued switch keeps its value", {"-b", "cn=x", "a::b"}, 0, {}, {}, {"a::b"}},
        {"unknown switch keeps its value out of the positionals",
         {"-port", "389"},
         1,
         {"port"},
         {},
         {}},
        {"unknown switches sorted by name", {"-zz", "-aa"}, 2, {"aa", "zz"}, {}, {}},
        {"unknown names are folded", {"-ZZ"}, 1, {"zz"}, {}, {}},
        {"repeated unknown switch reported once", {"-zz", "-zz"}, 1, {"zz"}, {}, {}},
        {"negative value then an unknown switch", {"-safety", "-x"}, 1, {"x"}, {}, {}},
        {"bare dash is unknown and leaves nothing pending", {"-", "a::b"}, 1, {""}, {}, {"a::b"}},
        {"bare slash is unknown", {"/"}, 1, {""}, {}, {}},
        {"dash-digit is a positional", {"-1"}, 0, {}, {}, {"-1"}},
        {"valued switch given without a value is fine", {"-undel"}, 0, {}, {}, {}},
        {"no arguments", {}, 0, {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SwitchTable table = parse(c.args);
        EXPECT_EQ(table.validate(), c.problems);
        EXPECT_EQ(table.unknownSwitches(), c.unknown);
        EXPECT_EQ(table.missingSwitches(), c.missing);
        EXPECT_EQ(table.positionals(), c.positionals);
    }
}

TEST(SwitchTableTest, ReleasedFlagValueIsCleared) {
    SwitchTable table = parse({"-q", "attr::x"});
    EXPECT_EQ(table.value("q"), "attr::x");  // before validation the parser cannot know
    table.validate();
    EXPECT_TRUE(table.has("q"));
    EXPECT_EQ(table.value("q"), "");
}

TEST(SwitchTableTest, RequiredSwitches) {
    const SwitchList list{{.name = "host", .kind = Value, .required = true},
                          {"q"},
                          {.name = "base", .kind = Value, .required = true},
                          {"opt", Value}};
    {
        SwitchTable table = parse({"-q"}, false, list);
        EXPECT_EQ(table.validate(), 2);
        EXPECT_EQ(table.missingSwitches(), (Texts{"base", "host"}));
        EXPECT_TRUE(table.unknownSwitches().empty());
    }
    {
        SwitchTable table = parse({"-HOST", "h", "-base"}, false, list);
        EXPECT_EQ(table.validate(), 0);
        EXPECT_TRUE(table.missingSwitches().empty());
    }
    {
        // Missing and unknown add up.
        SwitchTable table = parse({"-host", "h", "-zz"}, false, list);
        EXPECT_EQ(table.validate(), 2);
        EXPECT_EQ(table.missingSwitches(), (Texts{"base"}));
        EXPECT_EQ(table.unknownSwitches(), (Texts{"zz"}));
    }
}

TEST(SwitchTableTest, RequiredFlagMissing) {
    SwitchTable table =
        parse({"-a^b", "x"}, false, {{"a^b", Value}, {.name = "c", .required = true}});
    EXPECT_EQ(table.validate(), 1);
    EXPECT_EQ(table.missingSwitches(), (Texts{"c"}));
}

TEST(SwitchTableTest, ListNamesFoldedWhenCaseInsensitive) {
    SwitchTable table = parse({"-help", "-f", "-q"}, false, {{"HELP"}, {"Q"}, {"F", File}});
    EXPECT_EQ(table.validate(), 0);
    EXPECT_EQ(table.value("f"), "-q");
}

TEST(SwitchTableTest, CaseSensitiveTableKeepsNames) {
    SwitchTable table = parse({"-B", "x"}, true, {{"b", Value}});
    EXPECT_TRUE(table.has("B"));
    EXPECT_FALSE(table.has("b"));
    EXPECT_EQ(table.value("B"), "x");
    EXPECT_EQ(table.validate(), 1);
    EXPECT_EQ(table.unknownSwitches(), (Texts{"B"}));
}

TEST(SwitchTableTest, UnknownNamesInByteOrder) {
    // A prefix sorts first, and bytes compare unsigned (0xC3 after every ASCII letter).
    SwitchTable table = parse({"-\xC3\xA9", "-ab", "-a", "-B"}, false, {});
    table.validate();
    EXPECT_EQ(table.unknownSwitches(), (Texts{"a", "ab", "b", "\xC3\xA9"}));
}

TEST(SwitchTableTest, SetValueInsertsAndFolds) {
    SwitchTable table = parse({});
    EXPECT_FALSE(table.has("b"));
    table.setValue("B", "rootdse");
    EXPECT_TRUE(table.has("b"));
    EXPECT_EQ(table.value("b"), "rootdse");
    table.setValue("b", "other");
    EXPECT_EQ(table.value("B"), "other");
}

TEST(SwitchTableTest, EmptyMeansNoSwitch) {
    EXPECT_TRUE(parse({}).empty());
    EXPECT_TRUE(parse({"a::b", "-1"}).empty());
    EXPECT_FALSE(parse({"-"}).empty());
    EXPECT_FALSE(parse({"-q"}).empty());
}

TEST(SwitchTableTest, ProgramNameUnchanged) {
    const char* argv[] = {"/usr/local/bin/KESTREL", "-q"};
    const SwitchTable table(2, argv, false);
    EXPECT_EQ(table.programName(), "/usr/local/bin/KESTREL");
}

}  // namespace
}  // namespace kestrel
