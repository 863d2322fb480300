// The full call sequences of delete, move, rename and undelete, seen through the recording
// fake: every request, its controls and the wait for its result, in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_ldap.h"
#include "ops/relocate_objects.h"
#include "run_texts.h"

namespace kestrel {
namespace {

using fake::Call;
using fake::CapturedConsole;
using fake::FakeLdapLibrary;
using fake::result;
using fake::SearchAnswer;
using Lines = std::vector<std::string>;
using run_texts::kStop;

const std::string kStaff = "OU=Staff,DC=homelab,DC=net";
const std::string kTreeDelete = "[1.2.840.113556.1.4.805 critical value=]";
const std::string kShowDeleted = "[1.2.840.113556.1.4.417 critical value=]";

SearchAnswer lastKnownParentIs(const std::string& parent) {
    return SearchAnswer{0, {LdapEntry{"", {{"lastKnownParent", {parent}}}}}};
}

std::string lookup(const std::string& dn) {
    return "search base=[" + dn +
           "] scope=0 filter=(objectclass=*) attrs=[lastKnownParent] size=1 controls=" +
           kShowDeleted;
}

std::string restore(const std::string& dn, const std::string& newDn) {
    return "modify [" + dn + "] controls=" + kShowDeleted +
           " mods=0x1 isdeleted (null); 0x2 distinguishedName [" + newDn + "]";
}

class RelocateRequestsTest : public ::testing::Test {
  protected:
    RunContext context() {
        return RunContext{captured.reporter, settings, session, "dc1.homelab.net", results};
    }

    CapturedConsole captured;
    RunSettings settings;
    ResultLines results;
    FakeLdapLibrary library;
    LdapSession session = library.session();
};

TEST_F(RelocateRequestsTest, TreeDeleteSendsOneCriticalControlWithoutValue) {
    settings.treeDelete = true;
    RunContext run = context();
    runDelete(run, {"OU=Old," + kStaff, "OU=Older," + kStaff});
    EXPECT_EQ(library.calls(), (Lines{
                                   "delete [OU=Old," + kStaff + "] controls=" + kTreeDelete,
                                   "result id=1 timeout=120",
                                   "delete [OU=Older," + kStaff + "] controls=" + kTreeDelete,
                                   "result id=2 timeout=120",
                               }));
    EXPECT_EQ(captured.out(), "Deleting specified objects...\n   DN: OU=Old," + kStaff +
                                  "...\n   DN: OU=Older," + kStaff + "...\n");
}

// A tree delete cut short at the server's limit (11) is sent again while each round leaves
// fewer objects below it; a round that deletes nothing ends it with 11. One target line.
TEST_F(RelocateRequestsTest, TreeDeleteIsResentWhileTheServerDeletesSomething) {
    struct Row {
        std::vector<int> results;       // each round's answer
        std::vector<std::size_t> left;  // objects left after each round answered 11
        std::size_t rounds;
        int status;
    };
    const Row rows[] = {
        {{11, 11, 0}, {16, 6}, 3, 0},
        {{11, 11}, {16, 16}, 2, 11},
        {{11, 11, 11}, {16, 6, 6}, 3, 11},
    };
    const std::string tree = "OU=Old," + kStaff;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rounds);
        FakeLdapLibrary fake;
        LdapSession rounds = fake.session();
        CapturedConsole console;
        console.reporter.debug = true;
        settings.treeDelete = true;
        for (const int code : row.results) {
            fake.requestAnswers.push_back(result(code));
        }
        for (const std::size_t count : row.left) {
            SearchAnswer subtree;
            for (std::size_t n = 0; n < count; ++n) {
                subtree.entries.push_back(LdapEntry{"CN=" + std::to_string(n) + "," + tree, {}});
            }
            fake.searchAnswers.push_back(subtree);
        }
        RunContext run{console.reporter, settings, rounds, "dc1.homelab.net", results};
        runDelete(run, {tree});
        EXPECT_EQ(fake.callsOf(Call::Kind::Delete).size(), row.rounds);
        EXPECT_EQ(run.lastError, row.status);
        const std::string out = console.out();
        EXPECT_EQ(out.find("DN: "), out.rfind("DN: "));  // one target line
        EXPECT_NE(out.find("DEBUG: The tree delete of " + tree +
                           " stopped at the server's limit with 16 objects left; sending it "
                           "again (round 2)...\n"),
                  std::string::npos)
            << out;
    }
}

TEST_F(RelocateRequestsTest, PlainDeleteSendsAnEmptyControlList) {
    RunContext run = context();
    runDelete(run, {"CN=kim," + kStaff});
    EXPECT_EQ(library.requests(), Lines{"delete [CN=kim," + kStaff + "] controls=[]"});
}

TEST_F(RelocateRequestsTest, QuietDeleteOfThreeWritesThreeEmptyLines) {
    captured.reporter.quiet = true;
    RunContext run = context();
    runDelete(run, {"CN=a," + kStaff, "CN=b," + kStaff, "CN=c," + kStaff});
    EXPECT_EQ(captured.out(), "\n\n\n");
    EXPECT_EQ(captured.err(), "");
    EXPECT_EQ(library.requests().size(), 3u);
}

TEST_F(RelocateRequestsTest, DeleteStopsAtTheFirstFailure) {
    library.answerRequests({result(66, "00002015: UpdErr: DSID-031A1236")});
    RunContext run = context();
    runDelete(run, {"OU=Staff,DC=homelab,DC=net", "CN=b," + kStaff});
    EXPECT_EQ(captured.both(), "Deleting specified objects...\n   DN: " + kStaff +
                                   "...: [dc1.homelab.net] Error 0x42 (66) - Operation not "
                                   "allowed on non-leaf\n" +
                                   kStop);
    EXPECT_EQ(library.requests().size(), 1u);
    EXPECT_EQ(run.lastError, 66);
}

TEST_F(RelocateRequestsTest, MoveKeepsTheRdnAndSendsTheParentAsTyped) {
    settings.newParent = "OU=Old,dc=HomeLab,DC=net";
    RunContext run = context();
    runMove(run, {"CN=kim," + kStaff, "CN=Smith\\, Kim," + kStaff});
    EXPECT_EQ(library.calls(),
              (Lines{
                  "rename [CN=kim," + kStaff +
                      "] rdn=[CN=kim] parent=[OU=Old,dc=HomeLab,DC=net] deleteOld=1 controls=[]",
                  "result id=1 timeout=120",
                  "rename [CN=Smith\\, Kim," + kStaff +
                      "] rdn=[CN=Smith\\, Kim] parent=[OU=Old,dc=HomeLab,DC=net] deleteOld=1 "
                      "controls=[]",
                  "result id=2 timeout=120",
              }));
    EXPECT_EQ(captured.out(),
              "Moving specified objects to OU=Old,dc=HomeLab,DC=net...\n   DN: CN=kim," + kStaff +
                  "...\n   DN: CN=Smith\\, Kim," + kStaff + "...\n");
}

TEST_F(RelocateRequestsTest, MoveStopsWithTheShortStopMessage) {
    settings.newParent = "OU=Old,DC=homelab,DC=net";
    library.answerRequests({result(68)});
    RunContext run = context();
    runMove(run, {"CN=kim," + kStaff, "CN=lee," + kStaff});
    EXPECT_EQ(captured.both(),
              "Moving specified objects to OU=Old,DC=homelab,DC=net...\n"
              "   DN: CN=kim," +
                  kStaff +
                  "...: [dc1.homelab.net] Error 0x44 (68) - Already exists\n"
                  "ERROR: Too many errors encountered, terminating...\n");
    EXPECT_EQ(library.requests().size(), 1u);
}

TEST_F(RelocateRequestsTest, RenameTakesTheTypeFromTheOldRdn) {
    struct Row {
        std::string newName;
        std::string request;
    };
    const std::vector<Row> rows = {
        {"bob", "rename [CN=kim," + kStaff + "] rdn=[CN=bob] parent=[" + kStaff +
                    "] deleteOld=1 controls=[]"},
        {"CN=bob", "rename [CN=kim," + kStaff + "] rdn=[CN=CN=bob] parent=[" + kStaff +
                       "] deleteOld=1 controls=[]"},
        {"Bob Smith\\, Jr", "rename [CN=kim," + kStaff + "] rdn=[CN=Bob Smith\\, Jr] parent=[" +
                                kStaff + "] deleteOld=1 controls=[]"},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        LdapSession freshSession = fresh.session();
        CapturedConsole reporter;
        settings.newRdn = row.newName;
        RunContext run{reporter.reporter, settings, freshSession, "dc1.homelab.net", results};
        runRename(run, {"CN=kim," + kStaff});
        EXPECT_EQ(fresh.calls(), (Lines{row.request, "result id=1 timeout=120"}));
        EXPECT_EQ(reporter.out(), "Renaming CN=kim," + kStaff + " to " + row.newName + "...\n\n");
        EXPECT_EQ(run.lastError, 0);
    }
}

TEST_F(RelocateRequestsTest, RenameFindsTheParentWhateverTheDnLooksLike) {
    struct Row {
        std::string dn;
        std::string rdn;
        std::string parent;
    };
    const std::vector<Row> rows = {
        {"OU=Staff,DC=homelab,DC=net", "OU=bob", "DC=homelab,DC=net"},
        {"CN=kim;OU=Staff,DC=homelab,DC=net", "CN=bob", kStaff},
        {"CN=kim , OU=Staff,DC=homelab,DC=net", "CN=bob", kStaff},
        {"CN=a\\,b," + kStaff, "CN=bob", kStaff},
        // One component: renamed where it stands, never moved under itself.
        {"CN=kim", "CN=bob", ""},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        LdapSession freshSession = fresh.session();
        CapturedConsole reporter;
        settings.newRdn = "bob";
        RunContext run{reporter.reporter, settings, freshSession, "dc1.homelab.net", results};
        runRename(run, {row.dn});
        EXPECT_EQ(fresh.calls(), (Lines{"rename [" + row.dn + "] rdn=[" + row.rdn + "] parent=[" +
                                            row.parent + "] deleteOld=1 controls=[]",
                                        "result id=1 timeout=120"}))
            << row.dn;
    }
}

TEST_F(RelocateRequestsTest, AFailedRenameHasNoStopMessage) {
    settings.newRdn = "bob";
    settings.showExtendedError = true;
    library.answerRequests({result(68, "00002071: UpdErr: DSID-0305038D")});
    RunContext run = context();
    runRename(run, {"CN=kim," + kStaff});
    EXPECT_EQ(captured.both(), "Renaming CN=kim," + kStaff +
                                   " to bob...\n"
                                   ": [dc1.homelab.net] Error 0x44 (68) - Already exists\n"
                                   "   Extended Error: 00002071: UpdErr: DSID-0305038D\n");
    EXPECT_EQ(run.lastError, 68);
}

TEST_F(RelocateRequestsTest, UndeleteRestoresUnderTheLowerCasedLastKnownParent) {
    const std::string tombstone =
        "CN=kim\\0ADEL:8c5f2c1e-6d41-4c3a-9f43-5a2e0c5b7d11,CN=Deleted Objects,DC=homelab,DC=net";
    library.searchAnswers.push_back(lastKnownParentIs(kStaff));
    RunContext run = context();
    runUndelete(run, {tombstone});
    EXPECT_EQ(library.calls(), (Lines{
                                   lookup(tombstone),
                                   restore(tombstone, "CN=kim,ou=staff,dc=homelab,dc=net"),
                                   "result id=1 timeout=120",
                               }));
    EXPECT_EQ(captured.out(), "Undeleting specified objects...\n   DN: " + tombstone + "...\n");
    EXPECT_EQ(run.lastError, 0);
}

TEST_F(RelocateRequestsTest, TheCleanedRdnIsCutBeforeTheManglingInAnyCase) {
    struct Row {
        std::string rdn;
        std::string cleaned;
    };
    const std::vector<Row> rows = {
        {"CN=kim\\0ADEL:1", "CN=kim"},  {"CN=kim\\0adel:1", "CN=kim"},
        {"CN=kim\\0aDeL:1", "CN=kim"},  {"cn=Kim Lee\\0ADEL:1\\0ADEL:2", "cn=Kim Lee"},
        {"CN=kim\\0A", "CN=kim\\0A"},   {"CN=kim\\0ADEL", "CN=kim\\0ADEL"},
        {"CN=kimDEL:1", "CN=kimDEL:1"}, {"CN=plain", "CN=plain"},
    };
    settings.newParent = "OU=Restored,DC=homelab,DC=net";
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        LdapSession freshSession = fresh.session();
        CapturedConsole reporter;
        RunContext run{reporter.reporter, settings, freshSession, "dc1", results};
        const std::string dn = row.rdn + ",CN=Deleted Objects,DC=homelab,DC=net";
        runUndelete(run, {dn});
        // The given parent: no lookup, and the parent is used as typed.
        EXPECT_EQ(fresh.requests(),
                  Lines{restore(dn, row.cleaned + ",OU=Restored,DC=homelab,DC=net")})
            << row.rdn;
        EXPECT_EQ(fresh.count(Call::Kind::Search), 0u);
    }
}

TEST_F(RelocateRequestsTest, UndeleteSkipsWithTheirMessagesAndGoesOn) {
    struct Row {
        SearchAnswer answer;
        std::string message;
        std::string err;
    };
    const std::vector<Row> rows = {
        {SearchAnswer{0, {LdapEntry{"", {}}}},
         "ERROR: Can't determine Last Known Parent, skipping...\n", ""},
        {SearchAnswer{0, {}}, "ERROR: Can't determine Last Known Parent, skipping...\n", ""},
        {lastKnownParentIs(""), "ERROR: Can't determine Last Known Parent, skipping...\n", ""},
        {SearchAnswer{32, {}}, "ERROR: Can't determine Last Known Parent, skipping...\n",
         "Error: lastKnownParent: [] Error 0x20 (32) - No such object\n"},
        {lastKnownParentIs("OU=Gone\\0ADEL:9,CN=Deleted Objects,DC=homelab,DC=net"),
         "ERROR: ,cn=Deleted Objects, in Last Known Parent, skipping...\n", ""},
        {lastKnownParentIs("OU=Gone,cn=DELETED OBJECTS,DC=homelab,DC=net"),
         "ERROR: ,cn=Deleted Objects, in Last Known Parent, skipping...\n", ""},
    };
    const std::string skipped = "CN=a\\0ADEL:1,CN=Deleted Objects,DC=homelab,DC=net";
    const std::string good = "CN=b\\0ADEL:2,CN=Deleted Objects,DC=homelab,DC=net";
    for (const bool quiet : {false, true}) {
        for (const Row& row : rows) {
            FakeLdapLibrary fresh;
            LdapSession freshSession = fresh.session();
            CapturedConsole reporter;
            reporter.reporter.quiet = quiet;
            fresh.searchAnswers = {row.answer, lastKnownParentIs(kStaff)};
            RunSettings plain;
            RunContext run{reporter.reporter, plain, freshSession, "dc1", results};
            runUndelete(run, {skipped, good});
            EXPECT_EQ(run.lastError, -1) << row.message;
            EXPECT_EQ(fresh.requests(), Lines{restore(good, "CN=b,ou=staff,dc=homelab,dc=net")});
            EXPECT_EQ(reporter.out(), quiet ? "\n"
                                            : "Undeleting specified objects...\n   DN: " + skipped +
                                                  "..." + row.message + "   DN: " + good + "...\n");
            // The lookup's own error line is written in quiet mode too.
            EXPECT_EQ(reporter.err(), row.err);
        }
    }
}

TEST_F(RelocateRequestsTest, AFailedRestoreStopsWithoutCont) {
    settings.newParent = kStaff;
    library.answerRequests({result(53, "0000208C: SvcErr")});
    RunContext run = context();
    runUndelete(run,
                {"CN=a\\0ADEL:1,CN=Deleted Objects,DC=x", "CN=b\\0ADEL:2,CN=Deleted Objects,DC=x"});
    EXPECT_EQ(captured.both(),
              "Undeleting specified objects...\n   DN: CN=a\\0ADEL:1,CN=Deleted Objects,DC=x..."
              ": [dc1.homelab.net] Error 0x35 (53) - Server is unwilling to perform\n" +
                  std::string(kStop));
    EXPECT_EQ(run.lastError, 53);
    EXPECT_EQ(library.requests().size(), 1u);
}

TEST_F(RelocateRequestsTest, ATargetThatIsNotADnIsRefusedAndNothingIsSent) {
    const std::vector<std::string> targets = {"kim", "", "CN=kim,"};
    for (const std::string& target : targets) {
        for (int mode = 0; mode < 4; ++mode) {
            FakeLdapLibrary fresh;
            LdapSession freshSession = fresh.session();
            CapturedConsole reporter;
            RunSettings rowSettings;
            rowSettings.newParent = mode == 3 ? kStaff : (mode == 0 ? "OU=Old,DC=x" : "");
            rowSettings.newRdn = "bob";
            RunContext run{reporter.reporter, rowSettings, freshSession, "dc1", results};
            switch (mode) {
                case 0:
                    runMove(run, {target});
                    break;
                case 1:
                    runRename(run, {target});
                    break;
                default:
                    runUndelete(run, {target});
                    break;
            }
            EXPECT_EQ(run.lastError, 34) << "mode " << mode << " [" << target << "]";
            EXPECT_TRUE(fresh.log.empty()) << "mode " << mode << " [" << target << "]";
            EXPECT_NE(reporter.out().find("ERROR: Not a valid DN, nothing was sent for it.\n"),
                      std::string::npos);
        }
    }
}

}  // namespace
}  // namespace kestrel
