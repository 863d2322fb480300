#include "ops/modification_list.h"

#include <gtest/gtest.h>

#include <clocale>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fake_ldap.h"
#include "ops/modify_and_add.h"

namespace kestrel {
namespace {

using fake::CapturedConsole;
using fake::describe;
using fake::FakeLdapLibrary;
using fake::FakePasswordSetter;
using fake::result;
using Lines = std::vector<std::string>;

// Switches LC_CTYPE for one test and puts the previous setting back.
class ScopedCtype {
  public:
    explicit ScopedCtype(const char* name) : previous_(std::setlocale(LC_CTYPE, nullptr)) {
        ok_ = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~ScopedCtype() { std::setlocale(LC_CTYPE, previous_.c_str()); }
    ScopedCtype(const ScopedCtype&) = delete;
    ScopedCtype& operator=(const ScopedCtype&) = delete;
    bool ok() const { return ok_; }

  private:
    std::string previous_;
    bool ok_ = false;
};

std::string utf16le(const std::string& ascii) {
    std::string bytes;
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

Lines sent(const ModificationList& list) {
    return describe(list.modifications());
}

class ModificationListTest : public ::testing::Test {
  protected:
    CapturedConsole captured;
    ModificationSet set;
};

TEST_F(ModificationListTest, GroupsInTableOrderWithTheirOperations) {
    set.clears = {"zeta", "alpha"};
    set.removeValues = {{"b", {"x"}}, {"a", {"y", "z"}}};
    set.replaceValues = {{"z", "1"}, {"description", "Hello"}};
    set.addValues = {{"drink", {"a", "b"}}, {"cn", {"kim"}}};
    set.removeBinary = {{"objectsid", {{0x01, 0x02}}}};
    set.replaceBinary = {{"objectguid", {0xAA, 0x00}}};
    set.addBinary = {{"bin", {{0x00}, {0x01, 0x02}}}};
    const ModificationList list = ModificationList::forModify(captured.reporter, set);
    EXPECT_EQ(sent(list), (Lines{
                              "0x1 zeta (null)",
                              "0x1 alpha (null)",
                              "0x1 a [y|z]",
                              "0x1 b [x]",
                              "0x2 description [Hello]",
                              "0x2 z [1]",
                              "0x0 cn [kim]",
                              "0x0 drink [a|b]",
                              "0x81 objectsid [0102]",
                              "0x82 objectguid [aa00]",
                              "0x80 bin [00|0102]",
                          }));
    EXPECT_EQ(list.size(), 11u);
    EXPECT_FALSE(list.password().requested);
    EXPECT_EQ(captured.both(), "");
}

TEST_F(ModificationListTest, NamesInByteOrderWithinAGroup) {
    for (const char* name : {"b", "ab", "a_b", "a0", "a-b", "a", "z", "\xC3\xA9t\xC3\xA9"}) {
        set.replaceValues[name] = "v";
    }
    const ModificationList list = ModificationList::forModify(captured.reporter, set);
    EXPECT_EQ(sent(list),
              (Lines{"0x2 a [v]", "0x2 a-b [v]", "0x2 a0 [v]", "0x2 a_b [v]", "0x2 ab [v]",
                     "0x2 b [v]", "0x2 z [v]", "0x2 \xC3\xA9t\xC3\xA9 [v]"}));
}

TEST_F(ModificationListTest, ClearsKeepArgumentOrderAndDuplicates) {
    set.clears = {"scriptpath", "otherattr", "scriptpath"};
    const ModificationList list = ModificationList::forModify(captured.reporter, set);
    EXPECT_EQ(sent(list),
              (Lines{"0x1 scriptpath (null)", "0x1 otherattr (null)", "0x1 scriptpath (null)"}));
}

TEST_F(ModificationListTest, EmptyValueListsAreStillSent) {
    set.removeValues = {{"drink", {}}};
    set.addValues = {{"food", {}}};
    const ModificationList list = ModificationList::forModify(captured.reporter, set);
    EXPECT_EQ(sent(list), (Lines{"0x1 drink (null)", "0x0 food []"}));
    // A removal without values deletes the whole attribute, like a clear: the check made
    // before connecting refuses it, so only a set built by hand gets this far.
    EXPECT_FALSE(checkModificationSet(captured.reporter, set, false));
}

TEST_F(ModificationListTest, UnicodePwdIsAQuotedUtf16BinaryValue) {
    struct Row {
        std::string value;
        std::string bytes;
    };
    const std::vector<Row> rows = {
        {"abc", utf16le("\"abc\"")},       {"", utf16le("\"\"")}, {"\"abc", utf16le("\"abc")},
        {"\"abc\"", utf16le("\"abc\"")},   {"\"", utf16le("\"")}, {"ab\"", utf16le("\"ab\"\"")},
        {" \"x\"", utf16le("\" \"x\"\"")},
    };
    for (const Row& row : rows) {
        ModificationSet passwordSet;
        passwordSet.replaceValues = {{"unicodepwd", row.value}, {"description", "d"}};
        const ModificationList list = ModificationList::forModify(captured.reporter, passwordSet);
        const std::span<const Modification> mods = list.modifications();
        ASSERT_EQ(mods.size(), 2u);
        EXPECT_EQ(mods[1].operation, ModOperation::Replace);
        EXPECT_TRUE(mods[1].binary);
        EXPECT_EQ(mods[1].attribute, "unicodepwd");
        ASSERT_EQ(mods[1].values.size(), 1u);
        EXPECT_EQ(hexText(mods[1].values[0]), hexText(row.bytes)) << row.value;
    }
    EXPECT_EQ(captured.both(), "");
}

TEST_F(ModificationListTest, UnicodePwdConvertsFromTheLocalesEncoding) {
    ScopedCtype utf8("C.UTF-8");
    if (!utf8.ok()) {
        GTEST_SKIP() << "no C.UTF-8 locale";
    }
    struct Row {
        std::string value;
        std::string hex;
    };
    const std::vector<Row> rows = {
        {"\xC3\xA9", "2200e9002200"},              // U+00E9
        {"\xE2\x82\xAC", "2200ac202200"},          // U+20AC
        {"\xF0\x9F\x98\x80", "22003dd800de2200"},  // U+1F600, a surrogate pair
    };
    for (const Row& row : rows) {
        ModificationSet passwordSet;
        passwordSet.replaceValues = {{"unicodepwd", row.value}};
        const ModificationList list = ModificationList::forModify(captured.reporter, passwordSet);
        const std::span<const Modification> mods = list.modifications();
        ASSERT_EQ(mods.size(), 1u);
        EXPECT_EQ(hexText(mods[0].values.at(0)), row.hex);
    }
}

TEST_F(ModificationListTest, OnlyTheExactLowerCaseNameGetsThePasswordEncoding) {
    // The parser folds names, so "unicodePwd" never reaches the set in any other case;
    // an add or a binary value of it is not treated specially in modify mode.
    set.addValues = {{"unicodepwd", {"abc"}}};
    set.replaceBinary = {{"unicodepwd", {0x01}}};
    const ModificationList list = ModificationList::forModify(captured.reporter, set);
    EXPECT_EQ(sent(list), (Lines{"0x0 unicodepwd [abc]", "0x82 unicodepwd [01]"}));
}

TEST_F(ModificationListTest, DebugShowsThePasswordHandlingAndDumpsReplacedBinaries) {
    captured.reporter.debug = true;
    set.replaceValues = {{"unicodepwd", "abc"}};
    set.replaceBinary = {{"objectguid", {0x41, 0x00, 0x0A}}};
    set.addBinary = {{"bin", {{0x42}}}};
    set.removeBinary = {{"sid", {{0x43}}}};
    const ModificationList list = ModificationList::forModify(captured.reporter, set);
    EXPECT_EQ(captured.out(),
              "DEBUG: unicodePwd, special handling...\n"
              "[\"abc\"]\n"
              "0000 41 00 0a \nDECODE:\nA\\0_\n\n");
    EXPECT_EQ(captured.err(), "");
}

TEST_F(ModificationListTest, SetPasswordInAClearOrARemoveIsDroppedWithAWarning) {
    for (const bool quiet : {false, true}) {
        CapturedConsole reporter;
        reporter.reporter.quiet = quiet;
        ModificationSet warned;
        warned.clears = {"#setpwd#", "description"};
        warned.removeValues = {{"#setpwd#", {"x"}}, {"drink", {"tea"}}};
        const ModificationList list = ModificationList::forModify(reporter.reporter, warned);
        EXPECT_EQ(reporter.out(),
                  "\nWARN: #setpwd# is not logical with clear operation.\n\n"
                  "\nWARN: #setpwd# is not logical with remove operation.\n\n");
        EXPECT_EQ(sent(list), (Lines{"0x1 description (null)", "0x1 drink [tea]"}));
        EXPECT_FALSE(list.password().requested);
    }
}

TEST_F(ModificationListTest, SetPasswordInAReplaceAsksForThePasswordStep) {
    set.replaceValues = {{"#setpwd#", "Secret1"}, {"description", "x"}};
    const ModificationList list = ModificationList::forModify(captured.reporter, set);
    EXPECT_EQ(sent(list), Lines{"0x2 description [x]"});
    EXPECT_TRUE(list.password().requested);
    EXPECT_EQ(list.password().password, "Secret1");
}

TEST_F(ModificationListTest, AddModeTakesTheAddGroupsOnly) {
    set.clears = {"ignored"};
    set.removeValues = {{"ignored", {"x"}}};
    set.replaceValues = {{"ignored", "x"}};
    set.removeBinary = {{"ignored", {{0x01}}}};
    set.replaceBinary = {{"ignored", {0x01}}};
    set.addValues = {{"objectclass", {"top", "user"}},
                     {"#setpwd#", {"pw1", "pw2"}},
                     {"unicodepwd", {"p1", "p2"}},
                     {"cn", {"kim"}}};
    set.addBinary = {{"objectsid", {{0x01, 0x05}}}, {"bin", {{0xFF}, {0x00}}}};
    const ModificationList list = ModificationList::forAdd(captured.reporter, set);
    EXPECT_EQ(sent(list), (Lines{
                              "0x0 cn [kim]",
                              "0x0 objectclass [top|user]",
                              "0x80 unicodepwd [" + hexText(utf16le("\"p1\"")) + "]",
                              "0x80 bin [ff|00]",
                              "0x80 objectsid [0105]",
                          }));
    EXPECT_TRUE(list.password().requested);
    EXPECT_EQ(list.password().password, "pw1");
    EXPECT_EQ(captured.both(), "");
}

TEST_F(ModificationListTest, AddModePasswordEntriesWithoutValuesAreAbsent) {
    set.addValues = {{"#setpwd#", {}}, {"unicodepwd", {}}, {"cn", {}}};
    const ModificationList list = ModificationList::forAdd(captured.reporter, set);
    EXPECT_EQ(sent(list), Lines{"0x0 cn []"});
    EXPECT_FALSE(list.password().requested);
    EXPECT_EQ(countModifications(set, true), 1u);
}

TEST_F(ModificationListTest, AddModeDebugShowsThePasswordButDumpsNothing) {
    captured.reporter.debug = true;
    set.addValues = {{"unicodepwd", {"\"pw"}}};
    set.addBinary = {{"bin", {{0x41}}}};
    const ModificationList list = ModificationList::forAdd(captured.reporter, set);
    EXPECT_EQ(captured.out(), "DEBUG: unicodePwd, special handling...\n[\"pw]\n");
}

TEST_F(ModificationListTest, TheListOutlivesAMove) {
    set.replaceValues = {{"description", "a value long enough to live on the heap"},
                         {"unicodepwd", "pw"},
                         {"title", "x"}};
    set.addBinary = {{"bin", {{0x01, 0x02}}}};
    ModificationList built = ModificationList::forModify(captured.reporter, set);
    const Lines before = sent(built);
    const ModificationList moved = std::move(built);
    EXPECT_EQ(sent(moved), before);
    EXPECT_EQ(moved.size(), 4u);
}

TEST_F(ModificationListTest, CountsWhatIsSent) {
    set.clears = {"#setpwd#", "a", "a"};
    set.removeValues = {{"#setpwd#", {}}, {"b", {}}};
    set.replaceValues = {{"#setpwd#", "x"}, {"c", "x"}, {"unicodepwd", "x"}};
    set.addValues = {{"#setpwd#", {"x"}}, {"d", {}}};
    set.removeBinary = {{"e", {}}};
    set.replaceBinary = {{"f", {}}};
    set.addBinary = {{"g", {}}};
    const std::size_t expected = ModificationList::forModify(captured.reporter, set).size();
    EXPECT_EQ(countModifications(set, false), expected);
    EXPECT_EQ(expected, 10u);
}

TEST_F(ModificationListTest, AtMost999ModificationsGoInOneRequest) {
    for (int i = 0; i < 998; ++i) {
        set.clears.push_back("attr" + std::to_string(i));
    }
    set.replaceValues = {{"#setpwd#", "pw"}, {"last", "x"}};
    EXPECT_TRUE(checkModificationSet(captured.reporter, set, false));
    EXPECT_EQ(captured.both(), "");

    set.addBinary = {{"one", {{0x01}}}};
    CapturedConsole refused;
    EXPECT_FALSE(checkModificationSet(refused.reporter, set, false));
    EXPECT_EQ(refused.out(),
              "ERROR: 1000 modifications requested; one request holds at most 999. Nothing was "
              "sent.\n");
}

TEST_F(ModificationListTest, APasswordThatIsNotTextInTheLocaleIsRefused) {
    ScopedCtype ascii("C");
    ASSERT_TRUE(ascii.ok());
    struct Row {
        bool addMode;
        ModificationSet set;
        bool accepted;
    };
    std::vector<Row> rows;
    rows.push_back({false, {}, true});
    rows.back().set.replaceValues = {{"unicodepwd", "plain"}, {"#setpwd#", "plain"}};
    rows.push_back({false, {}, false});
    rows.back().set.replaceValues = {{"unicodepwd", "caf\xE9"}};
    rows.push_back({false, {}, false});
    rows.back().set.replaceValues = {{"#setpwd#", "caf\xE9"}};
    rows.push_back({true, {}, false});
    rows.back().set.addValues = {{"#setpwd#", {"caf\xE9"}}};
    rows.push_back({true, {}, true});
    rows.back().set.addValues = {{"unicodepwd", {"ok", "caf\xE9"}}};  // only the first is sent
    rows.push_back({false, {}, true});
    rows.back().set.replaceValues = {{"description", "caf\xE9"}};
    for (const Row& row : rows) {
        CapturedConsole reporter;
        EXPECT_EQ(checkModificationSet(reporter.reporter, row.set, row.addMode), row.accepted);
        EXPECT_EQ(reporter.out(),
                  row.accepted ? ""
                               : "ERROR: A password value is not valid text in this locale's "
                                 "encoding (ANSI_X3.4-1968). Nothing was sent.\n");
    }
}

// Modify and add runs: the list is built once and sent unchanged to every target.
class ModifyRunTest : public ::testing::Test {
  protected:
    RunContext context() {
        return RunContext{captured.reporter, settings, session,
                          "dc1.homelab.net", results,  &passwords};
    }

    CapturedConsole captured;
    RunSettings settings;
    ResultLines results;
    FakeLdapLibrary library;
    LdapSession session = library.session();
    FakePasswordSetter passwords;
    ModificationSet set;
};

TEST_F(ModifyRunTest, SendsTheSameListToEveryTarget) {
    set.replaceValues = {{"description", "Hello"}};
    set.addValues = {{"drink", {"a", "b"}}};
    RunContext run = context();
    runModify(run, {"cn=a", "cn=b"}, set);
    EXPECT_EQ(captured.out(), "Modifying specified objects...\n   DN: cn=a...\n   DN: cn=b...\n");
    EXPECT_EQ(library.requests(),
              (Lines{"modify [cn=a] controls=[] mods=0x2 description [Hello]; 0x0 drink [a|b]",
                     "modify [cn=b] controls=[] mods=0x2 description [Hello]; 0x0 drink [a|b]"}));
    EXPECT_EQ(run.lastError, 0);
}

TEST_F(ModifyRunTest, WarningsComeAfterTheHeadingAndBeforeTheFirstTarget) {
    set.clears = {"#setpwd#"};
    set.replaceValues = {{"description", "x"}};
    RunContext run = context();
    runModify(run, {"cn=a", "cn=b"}, set);
    EXPECT_EQ(captured.out(),
              "Modifying specified objects...\n"
              "\nWARN: #setpwd# is not logical with clear operation.\n\n"
              "   DN: cn=a...\n   DN: cn=b...\n");
}

TEST_F(ModifyRunTest, TheRootDseIsTheEmptyDn) {
    set.replaceValues = {{"schemaupdatenow", "1"}};
    RunContext run = context();
    runModify(run, {""}, set);
    EXPECT_EQ(captured.out(), "Modifying specified objects...\n   DN: ROOTDSE...\n");
    EXPECT_EQ(library.requests(), Lines{"modify [] controls=[] mods=0x2 schemaupdatenow [1]"});
}

TEST_F(ModifyRunTest, OnlyAPasswordSendsNoLdapRequest) {
    set.replaceValues = {{"#setpwd#", "Secret1"}};
    RunContext run = context();
    runModify(run, {"cn=a", "cn=b"}, set);
    EXPECT_EQ(
        captured.out(),
        "Modifying specified objects...\n"
        "   DN: cn=a...  No LDAP updates to make.\n       Changing password...   Successful.\n"
        "   DN: cn=b...  No LDAP updates to make.\n       Changing password...   Successful.\n");
    EXPECT_TRUE(library.requests().empty());
    EXPECT_EQ(passwords.requests.size(), 2u);
    EXPECT_EQ(passwords.requests[0].password, "Secret1");
}

TEST_F(ModifyRunTest, NothingToSendLeavesLastErrorAlone) {
    captured.reporter.quiet = true;
    set.clears = {"#setpwd#"};
    RunContext run = context();
    run.lastError = 0;
    runModify(run, {"cn=a", "cn=b"}, set);
    EXPECT_EQ(captured.out(),
              "\nWARN: #setpwd# is not logical with clear operation.\n\n"
              "  No LDAP updates to make.\n  No LDAP updates to make.\n");
    EXPECT_EQ(run.lastError, 0);
    EXPECT_TRUE(library.requests().empty());
    EXPECT_TRUE(passwords.requests.empty());
}

TEST_F(ModifyRunTest, AFailureOnTheFirstTargetStopsBeforeItsPassword) {
    set.replaceValues = {{"#setpwd#", "pw"}, {"description", "x"}};
    library.answerRequests({result(50)});
    RunContext run = context();
    runModify(run, {"cn=a", "cn=b", "cn=c"}, set);
    EXPECT_EQ(captured.both(),
              "Modifying specified objects...\n"
              "   DN: cn=a...: [dc1.homelab.net] Error 0x32 (50) - Insufficient access\n"
              "\n\nERROR: Too many errors encountered, terminating...\n");
    EXPECT_EQ(library.requests().size(), 1u);
    EXPECT_TRUE(passwords.requests.empty());
    EXPECT_EQ(run.lastError, 50);
}

TEST_F(ModifyRunTest, AddSendsAddRequests) {
    set.addValues = {{"objectclass", {"user"}}, {"samaccountname", {"kim"}}};
    set.addBinary = {{"objectguid", {{0x01}}}};
    RunContext run = context();
    runAdd(run, {"CN=kim,OU=Staff,DC=homelab,DC=net"}, set);
    EXPECT_EQ(captured.out(),
              "Adding specified objects...\n   DN: CN=kim,OU=Staff,DC=homelab,DC=net...\n");
    EXPECT_EQ(library.requests(),
              Lines{"add [CN=kim,OU=Staff,DC=homelab,DC=net] controls=[] mods=0x0 objectclass "
                    "[user]; 0x0 samaccountname [kim]; 0x80 objectguid [01]"});
}

TEST_F(ModifyRunTest, AddWithOnlyAPasswordCreatesNothing) {
    set.addValues = {{"#setpwd#", {"pw1", "pw2"}}};
    RunContext run = context();
    runAdd(run, {""}, set);
    EXPECT_EQ(captured.out(),
              "Adding specified objects...\n"
              "   DN: ROOTDSE...  No LDAP updates to make.\n       Changing password...   "
              "Successful.\n");
    EXPECT_TRUE(library.requests().empty());
    ASSERT_EQ(passwords.requests.size(), 1u);
    EXPECT_EQ(passwords.requests[0].password, "pw1");
}

}  // namespace
}  // namespace kestrel
