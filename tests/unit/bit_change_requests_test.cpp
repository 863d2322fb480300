#include "ops/bit_change_requests.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fake_ldap.h"
#include "ops/modify_and_add.h"
#include "ops/undo_journal.h"

namespace kestrel {
namespace {

using fake::Call;
using fake::SearchAnswer;
using Lines = std::vector<std::string>;

SearchAnswer holding(const std::string& dn, std::vector<std::string> values) {
    return SearchAnswer{0, {LdapEntry{dn, {{"userAccountControl", std::move(values)}}}}};
}

// A modify run with setbits/clearbits over the recording fake.
class BitChangeRunTest : public ::testing::Test {
  protected:
    BitChangeRunTest() { set.bitChanges = {{"useraccountcontrol", BitChange{0x2, 0}}}; }

    RunContext run(const DnList& targets) {
        RunContext context{captured.reporter, settings, session, "dc1", &passwords};
        runModify(context, targets, set);
        return context;
    }

    // The reads and writes, in the order they reached the directory.
    Lines traffic() const {
        Lines lines;
        for (const Call& call : library.log) {
            if (call.kind == Call::Kind::Search || call.kind == Call::Kind::Modify) {
                lines.push_back(call.kind == Call::Kind::Search
                                    ? "read " + call.search.base + " " + call.search.attributes[0]
                                    : call.text());
            }
        }
        return lines;
    }

    fake::CapturedConsole captured;
    RunSettings settings;
    fake::FakeLdapLibrary library;
    LdapSession session = library.session();
    fake::FakePasswordSetter passwords;
    ModificationSet set;
};

TEST_F(BitChangeRunTest, EachReadValueIsDeletedAndTheNewOneAddedWithTheOtherChanges) {
    set.replaceValues = {{"description", "gone"}};
    settings.window = 2;
    library.searchAnswers = {holding("cn=a", {"512"}), holding("cn=b", {"66048"}),
                             SearchAnswer{0, {LdapEntry{"cn=c", {}}}}};
    const RunContext done = run({"cn=a", "cn=b", "cn=c"});
    EXPECT_EQ(traffic(), (Lines{"read cn=a useraccountcontrol", "read cn=b useraccountcontrol",
                                "modify [cn=a] controls=[] mods=0x2 description [gone]; 0x1 "
                                "useraccountcontrol [512]; 0x0 useraccountcontrol [514]",
                                "modify [cn=b] controls=[] mods=0x2 description [gone]; 0x1 "
                                "useraccountcontrol [66048]; 0x0 useraccountcontrol [66050]",
                                "read cn=c useraccountcontrol",
                                // Absent: added, so that a value added meanwhile makes it fail.
                                "modify [cn=c] controls=[] mods=0x2 description [gone]; 0x0 "
                                "useraccountcontrol [2]"}));
    EXPECT_EQ(done.lastError, 0);
}

TEST_F(BitChangeRunTest, BitsAlreadyAsAskedAreReportedDoneWithoutAWrite) {
    captured.reporter.json = true;
    library.searchAnswers = {holding("cn=a", {"514"})};
    const RunContext done = run({"cn=a"});
    EXPECT_EQ(library.count(Call::Kind::Modify), 0u);
    EXPECT_EQ(captured.err(),
              "Modifying specified objects...\n   DN: cn=a...  Already as asked "
              "(useraccountcontrol 514); nothing sent.\n");
    EXPECT_EQ(captured.out(),
              "{\"dn\":\"cn=a\",\"outcome\":\"done\",\"code\":0,\"text\":\"Already as asked, "
              "nothing was sent\",\"server_text\":\"\"}\n");
    EXPECT_EQ(done.lastError, 0);
}

TEST_F(BitChangeRunTest, AValueThatCannotBeChangedBitByBitIsNotWritten) {
    struct Row {
        SearchAnswer read;
        std::string lines;
        int status;
    };
    const std::string start = "Modifying specified objects...\n   DN: cn=a...";
    const std::string stop = "\n\nERROR: Too many errors encountered, terminating...\n";
    const std::vector<Row> rows{
        {holding("cn=a", {"1", "2"}),
         start +
             "\nERROR: cn=a: useraccountcontrol: it holds 2 values, and setbits and "
             "clearbits change a single integer; nothing was sent.\n: [dc1] Error 0x52 "
             "(82) - Local error\n" +
             stop,
         0x52},
        {holding("cn=a", {"enabled"}),
         start +
             "\nERROR: cn=a: useraccountcontrol: it holds [enabled], which is not a 32-bit "
             "integer; nothing was sent.\n: [dc1] Error 0x52 (82) - Local error\n" +
             stop,
         0x52},
        {SearchAnswer{32, {}}, start + ": [dc1] Error 0x20 (32) - No such object\n" + stop, 32},
    };
    for (const Row& row : rows) {
        captured.clear();
        library.searchAnswers = {row.read};
        EXPECT_EQ(run({"cn=a", "cn=b"}).lastError, row.status);
        EXPECT_EQ(captured.both(), row.lines);
    }
    EXPECT_EQ(library.count(Call::Kind::Modify), 0u);
}

TEST_F(BitChangeRunTest, TheJournalHoldsTheExactInverse) {
    char pattern[] = "/tmp/kestrel-bits-test.XXXXXX";
    const std::string path = std::string(mkdtemp(pattern)) + "/undo.ldif";
    std::string why;
    std::unique_ptr<UndoJournal> journal = UndoJournal::create(path, why);
    ASSERT_TRUE(journal) << why;
    session.handle =
        journalingConnection(std::move(session.handle), *journal, captured.reporter, {});
    library.searchAnswers = {holding("cn=a", {"66048"})};
    EXPECT_EQ(run({"cn=a"}).lastError, 0);
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    EXPECT_EQ(text.str(),
              "# Undo of the modify of cn=a\ndn: cn=a\nchangetype: modify\ndelete: "
              "useraccountcontrol\nuseraccountcontrol: 66050\n-\nadd: useraccountcontrol\n"
              "useraccountcontrol: 66048\n-\n\n");
    std::remove(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
}

}  // namespace
}  // namespace kestrel
