#include "cli/switch_refusals.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/switch_list.h"

namespace kestrel {
namespace {

using Texts = std::vector<std::string>;

struct PrecedenceCase {
    const char* name;
    Texts args;
    std::string firstLine;  // of standard output; empty: the run goes on
};

// Where several switches are wrong at once, the run names the first check's reason only:
// the checks run in a fixed order, and each row has the one it expects ahead of the others.
TEST(SwitchRefusalsTest, TheFirstCheckInOrderNamesTheRefusal) {
    const std::string nothingSent = " Nothing was sent.";
    const std::vector<PrecedenceCase> cases{
        {"-csv before the window",
         {"-csv", "t.csv", "-rm", "-window", "0"},
         "ERROR: -csv names the objects and modifies or adds them; it cannot be combined with "
         "-rm." +
             nothingSent},
        {"nothing to do before the window", {"-b", "cn=x", "-window", "0"}, "Usage:"},
        {"the window before -undo",
         {"-b", "cn=x", "-window", "0", "-undo", "u", "-dryrun", "a::b"},
         "ERROR: -window needs a whole number from 1 to 1024." + nothingSent},
        {"-undo before -permissive",
         {"-b", "cn=x", "-rm", "-undo", "u", "-dryrun", "-permissive"},
         "ERROR: -undo journals the changes a run makes; a -dryrun makes none." + nothingSent},
        {"-permissive before the credentials",
         {"-b", "cn=x", "-rm", "-permissive", "-pwfile", "p"},
         "ERROR: -permissive is for modifying objects (by default, or with -f); -add, -rm, -move, "
         "-rename and -undel send no modify it would change." +
             nothingSent},
        {"the credentials before -move",
         {"-b", "cn=x", "-move", "", "-pwfile", "p"},
         "ERROR: -pwfile names the file holding the password of -binddn, which is missing." +
             nothingSent},
        {"the window before the record file",
         {"-f", "r.ldif", "-b", "cn=x", "-window", "0"},
         "ERROR: -window needs a whole number from 1 to 1024." + nothingSent},
        {"the record file last",
         {"-f", "r.ldif", "-b", "cn=x"},
         "ERROR: -f applies the records of its file; it cannot be combined with -b." + nothingSent},
        {"nothing wrong", {"-b", "cn=x", "a::b"}, ""},
    };
    for (const PrecedenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<const char*> argv{"kestrel"};
        for (const std::string& arg : c.args) {
            argv.push_back(arg.c_str());
        }
        SwitchTable switches(static_cast<int>(argv.size()), argv.data(), false,
                             kestrelSwitchList());
        std::ostringstream out;
        std::ostringstream err;
        Reporter reporter(out, err);
        RunSettings settings;
        const Verdict refusal = readCheckedSettings(reporter, switches, settings);
        ASSERT_EQ(refusal.has_value(), !c.firstLine.empty());
        if (refusal) {
            writeRefusal(reporter, *refusal);
        }
        const std::string written = out.str();
        EXPECT_EQ(written.substr(0, written.find('\n')), c.firstLine);
        EXPECT_EQ(err.str(), "");
    }
}

}  // namespace
}  // namespace kestrel
