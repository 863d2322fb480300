#include "cli/argument_scrubber.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

// Mutable argument storage laid out as the C runtime hands it to main.
class Argv {
  public:
    explicit Argv(const std::vector<std::string>& arguments) : texts_(arguments) {
        for (std::string& text : texts_) {
            pointers_.push_back(text.data());
        }
        pointers_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(texts_.size()); }
    char** argv() { return pointers_.data(); }
    const std::vector<std::string>& texts() const { return texts_; }

  private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

TEST(ArgumentScrubberTest, OverwritesOnlyArgumentsThatMayCarryAPassword) {
    struct Case {
        const char* name;
        std::string argument;
        bool scrubbed;
    };
    const std::vector<Case> cases{
        {"#setpwd#", "#setpwd#::Secret-1", true},
        {"#setpwd# in capitals", "#SetPwd#::Secret-1", true},
        {"unicodePwd", "unicodePwd::Secret-1", true},
        {"unicodepwd, other delimiter", "UNICODEPWD||||Secret-1", true},
        {"unicodePwd added", "unicodePwd:+:Secret-1", true},
        {"binary unicodePwd", "bin##unicodePwd::2200", true},
        {"hash delimiter", "#setpwd####Secret-1", true},
        {"a switch value naming it", "cn=unicodePwd-test,dc=x", true},
        {"plain action", "description::Hello", false},
        {"half a marker", "setpwd::x", false},
        {"userPassword", "userPassword::x", true},
        {"a binary prefix inside the name", "unicoBIN##dePwd::2200", true},
        {"the OID", "1.2.840.113556.1.4.90::Secret-1", true},
        {"userPassword's OID", "2.5.4.35::Secret-1", true},
        {"an attribute option", "unicodePwd;binary::Secret-1", true},
        {"a leading blank", " unicodePwd::Secret-1", true},
        {"a look-alike name", "unicodePw::x", false},
        {"switch", "-b", false},
        {"empty", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Argv args({"kestrel", "-b", "cn=x", c.argument, "-q"});
        const ArgumentCopy copy(args.argc(), args.argv());
        EXPECT_EQ(scrubPasswordArguments(args.argc(), args.argv()), c.scrubbed ? 1 : 0);
        const std::string expected = c.scrubbed ? std::string(c.argument.size(), '*') : c.argument;
        EXPECT_EQ(std::string(args.argv()[3]), expected);
        // Same length, so nothing after it moves, and the neighbours are untouched.
        EXPECT_EQ(std::string(args.argv()[2]), "cn=x");
        EXPECT_EQ(std::string(args.argv()[4]), "-q");
        // The run goes on with the copy, which still holds the text.
        ASSERT_EQ(copy.argc(), 5);
        EXPECT_EQ(std::string(copy.argv()[3]), c.argument);
        EXPECT_EQ(copy.argv()[5], nullptr);
    }
}

TEST(ArgumentScrubberTest, NeverTouchesTheProgramName) {
    Argv args({"/opt/unicodepwd/kestrel", "#setpwd#::a", "unicodePwd::b"});
    EXPECT_EQ(scrubPasswordArguments(args.argc(), args.argv()), 2);
    EXPECT_EQ(std::string(args.argv()[0]), "/opt/unicodepwd/kestrel");
    EXPECT_EQ(std::string(args.argv()[1]), "***********");
    EXPECT_EQ(std::string(args.argv()[2]), "*************");
}

TEST(ArgumentScrubberTest, StopsAtTheTerminatingNull) {
    Argv args({"kestrel", "#setpwd#::a"});
    // argc larger than the list: the null entry ends it, as in a hand-built argv.
    EXPECT_EQ(scrubPasswordArguments(args.argc() + 3, args.argv()), 1);
    const ArgumentCopy copy(args.argc() + 3, args.argv());
    EXPECT_EQ(copy.argc(), 2);
}

}  // namespace
}  // namespace kestrel
