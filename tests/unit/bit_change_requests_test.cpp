#include "ops/bit_change_requests.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fake_ldap.h"
#include "ops/modify_and_add.h"
#include "undo/undo_journal.h"

namespace kestrel {
namespace {

using fake::Call;
using fake::SearchAnswer;
using Lines = std::vector<std::string>;

SearchAnswer holding(std::vector<LdapAttribute> attributes) {
    return SearchAnswer{0, {LdapEntry{"cn=a", std::move(attributes)}}};
}

// A modify run with userAccountControl:setbits:2 over the recording fake.
class BitChangeRunTest : public ::testing::Test {
  protected:
    RunContext run(const DnList& targets) {
        set.bitChanges = {{"useraccountcontrol", BitChange{0x2, 0}}};
        RunContext context{captured.reporter, settings, session, "dc1", results, &passwords};
        runModify(context, targets, set);
        return context;
    }

    // The reads (by base) and writes, in the order they reached the directory.
    Lines traffic() const {
        Lines lines;
        for (const Call& call : library.log) {
            if (call.kind == Call::Kind::Search) {
                lines.push_back("read " + call.search.base + " " + call.search.attributes[0]);
            } else if (call.kind == Call::Kind::Modify) {
                lines.push_back(call.text());
            }
        }
        return lines;
    }

    fake::CapturedConsole captured;
    RunSettings settings;
    ResultLines results;
    fake::FakeLdapLibrary library;
    LdapSession session = library.session();
    fake::FakePasswordSetter passwords;
    ModificationSet set;
};

TEST_F(BitChangeRunTest, EachReadValueIsDeletedAndTheNewOneAddedWithTheOtherChanges) {
    set.replaceValues = {{"description", "gone"}};
    settings.window = 2;
    library.searchAnswers = {holding({{"userAccountControl", {"512"}}}),
                             holding({{"userAccountControl", {"66048"}}}), holding({})};
    EXPECT_EQ(run({"cn=a", "cn=b", "cn=c"}).lastError, 0);
    EXPECT_EQ(traffic(), (Lines{"read cn=a useraccountcontrol", "read cn=b useraccountcontrol",
                                "modify [cn=a] controls=[] mods=0x2 description [gone]; 0x1 "
                                "useraccountcontrol [512]; 0x0 useraccountcontrol [514]",
                                "modify [cn=b] controls=[] mods=0x2 description [gone]; 0x1 "
                                "useraccountcontrol [66048]; 0x0 useraccountcontrol [66050]",
                                "read cn=c useraccountcontrol",
                                // Absent: added, so that a value added meanwhile makes it fail.
                                "modify [cn=c] controls=[] mods=0x2 description [gone]; 0x0 "
                                "useraccountcontrol [2]"}));
}

TEST_F(BitChangeRunTest, BitsAlreadyAsAskedAreReportedDoneWithoutAWrite) {
    captured.reporter.json = true;
    library.searchAnswers = {holding({{"userAccountControl", {"514"}}})};
    EXPECT_EQ(run({"cn=a"}).lastError, 0);
    EXPECT_EQ(library.count(Call::Kind::Modify), 0u);
    EXPECT_EQ(captured.err(),
              "Modifying specified objects...\n   DN: cn=a...  Already as asked "
              "(useraccountcontrol 514); nothing sent.\n");
    EXPECT_EQ(captured.out(),
              "{\"dn\":\"cn=a\",\"outcome\":\"done\",\"code\":0,\"text\":\"Already as asked, "
              "nothing was sent\",\"server_text\":\"\"}\n");
}

TEST_F(BitChangeRunTest, AValueThatIsNotOneIntegerIsNotWritten) {
    library.searchAnswers = {holding({{"userAccountControl", {"enabled"}}})};
    EXPECT_EQ(run({"cn=a", "cn=b"}).lastError, 0x52);
    EXPECT_EQ(captured.both(),
              "Modifying specified objects...\n   DN: cn=a...\nERROR: cn=a: useraccountcontrol: "
              "it holds [enabled], which is not a 32-bit integer; nothing was sent.\n: [dc1] "
              "Error 0x52 (82) - Local error\n\n\nERROR: Too many errors encountered, "
              "terminating...\n");
    EXPECT_EQ(traffic(), Lines{"read cn=a useraccountcontrol"});
}

TEST_F(BitChangeRunTest, TheJournalHoldsTheExactInverse) {
    char pattern[] = "/tmp/kestrel-bits-test.XXXXXX";
    const std::string directory = mkdtemp(pattern);
    std::string why;
    std::unique_ptr<UndoJournal> journal = UndoJournal::create(directory + "/undo", why);
    ASSERT_TRUE(journal) << why;
    session.handle =
        journalingConnection(std::move(session.handle), *journal, captured.reporter, {});
    library.searchAnswers = {holding({{"userAccountControl", {"66048"}}})};
    EXPECT_EQ(run({"cn=a"}).lastError, 0);
    std::ostringstream text;
    text << std::ifstream(directory + "/undo").rdbuf();
    EXPECT_EQ(text.str(),
              "# Undo of the modify of cn=a\ndn: cn=a\nchangetype: modify\ndelete: "
              "useraccountcontrol\nuseraccountcontrol: 66050\n-\nadd: useraccountcontrol\n"
              "useraccountcontrol: 66048\n-\n\n");
    std::remove((directory + "/undo").c_str());
    rmdir(directory.c_str());
}

}  // namespace
}  // namespace kestrel
