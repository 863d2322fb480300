// -f and -revert over the recording fake: the exact requests, in order, and under -window
// the records that must wait for an earlier answer.
#include "ops/apply_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_ldap.h"
#include "ops/record_order.h"

namespace kestrel {
namespace {

using fake::CapturedConsole;
using fake::FakeLdapLibrary;
using fake::result;
using Lines = std::vector<std::string>;
using Starts = std::vector<std::size_t>;

constexpr const char* kShowDeleted = "1.2.840.113556.1.4.417";

std::vector<LdifRecord> records(const std::string& text) {
    const LdifReadResult read = readLdifRecords(text, false);
    EXPECT_TRUE(read.ok) << read.problem.reason;
    return read.records;
}

// A file with every kind of record, a control and a value holding a zero byte.
const std::string kMixed =
    "dn: OU=New,DC=x\nchangetype: add\nobjectClass: organizationalUnit\n\n"
    "dn: CN=a,OU=Old,DC=x\ncontrol: 1.2.3 true\nchangetype: modify\nreplace: description\n"
    "description: HR\n-\nadd: blob\nblob:: AAE=\n-\ndelete: title\n-\n\n"
    "dn: CN=a,OU=Old,DC=x\nchangetype: moddn\nnewrdn: CN=b\ndeleteoldrdn: 1\n"
    "newsuperior: OU=New,DC=x\n\n"
    "dn: CN=c,OU=Old,DC=x\nchangetype: delete\n";

class ApplyRecordsTest : public ::testing::Test {
  protected:
    RunContext context() {
        return RunContext{captured.reporter, settings, session, "dc1", results};
    }

    CapturedConsole captured;
    RunSettings settings;
    ResultLines results;
    FakeLdapLibrary library;
    LdapSession session = library.session();
};

TEST_F(ApplyRecordsTest, EachRecordIsOneRequestInTheFilesOrder) {
    settings.mode = RunMode::ApplyRecords;
    settings.recordFile = "hr.ldif";
    RunContext run = context();
    runApplyRecords(run, records(kMixed));
    EXPECT_EQ(library.calls(),
              (Lines{
                  "add [OU=New,DC=x] controls=[] mods=0x0 objectClass [organizationalUnit]",
                  "result id=1 timeout=120",
                  "modify [CN=a,OU=Old,DC=x] controls=[1.2.3 critical value=] mods=0x2 "
                  "description [HR]; 0x80 blob [0001]; 0x1 title (null)",
                  "result id=2 timeout=120",
                  "rename [CN=a,OU=Old,DC=x] rdn=[CN=b] parent=[OU=New,DC=x] deleteOld=1 "
                  "controls=[]",
                  "result id=3 timeout=120",
                  "delete [CN=c,OU=Old,DC=x] controls=[]",
                  "result id=4 timeout=120",
              }));
    EXPECT_EQ(
        captured.out(),
        "Applying the change records of hr.ldif...\n   DN: OU=New,DC=x...\n"
        "   DN: CN=a,OU=Old,DC=x...\n   DN: CN=a,OU=Old,DC=x...\n   DN: CN=c,OU=Old,DC=x...\n");
    EXPECT_EQ(run.lastError, 0);
}

TEST_F(ApplyRecordsTest, ARevertAppliesTheLastRecordFirstAndStopsAtAFailure) {
    settings.mode = RunMode::Revert;
    settings.recordFile = "run.undo";
    library.answerRequests({result(0), result(0x20)});
    RunContext run = context();
    runRevert(run, records(kMixed));
    EXPECT_EQ(library.requests(),
              (Lines{"delete [CN=c,OU=Old,DC=x] controls=[]",
                     "rename [CN=a,OU=Old,DC=x] rdn=[CN=b] parent=[OU=New,DC=x] deleteOld=1 "
                     "controls=[]"}));
    EXPECT_EQ(captured.out(),
              "Reverting with the undo journal run.undo, last record first...\n"
              "   DN: CN=c,OU=Old,DC=x...\n   DN: CN=a,OU=Old,DC=x...\n\n"
              "ERROR: Too many errors encountered, terminating...\n");
    EXPECT_EQ(captured.err(), ": [dc1] Error 0x20 (32) - No such object\n");
    EXPECT_EQ(run.lastError, 0x20);
}

TEST_F(ApplyRecordsTest, StandardInputIsNamedAsSuch) {
    settings.mode = RunMode::ApplyRecords;
    settings.recordFile = "-";
    RunContext run = context();
    runApplyRecords(run, records("dn: CN=c,DC=x\nchangetype: delete\n"));
    EXPECT_EQ(captured.out().rfind("Applying the change records of standard input...\n", 0), 0u);
}

// A journal that reanimates a parent and then its child: the child's tombstone is not
// below the parent's, so the loop cannot see that the child must wait for the parent.
const std::string kReanimations =
    "dn: CN=p\\0ADEL:1,CN=Deleted Objects,DC=x\ncontrol: 1.2.840.113556.1.4.417 true\n"
    "changetype: modify\ndelete: isDeleted\n-\nreplace: distinguishedName\n"
    "distinguishedName: OU=p,DC=x\n-\n\n"
    "dn: CN=c\\0ADEL:2,CN=Deleted Objects,DC=x\ncontrol: 1.2.840.113556.1.4.417 true\n"
    "changetype: modify\ndelete: isDeleted\n-\nreplace: distinguishedName\n"
    "distinguishedName: CN=c,OU=p,DC=x\n-\n";

TEST_F(ApplyRecordsTest, UnderAWindowARecordWaitsForWhatItDependsOn) {
    settings.mode = RunMode::ApplyRecords;
    settings.window = 8;
    RunContext run = context();
    runApplyRecords(run, records(kReanimations));
    const Lines calls = library.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1], "result id=1 timeout=120");  // answered before the child is sent
    EXPECT_EQ(calls[2].rfind("modify [CN=c\\0ADEL:2", 0), 0u) << calls[2];
    EXPECT_EQ(library.maxOutstanding, 1);
    EXPECT_NE(calls[0].find(kShowDeleted), std::string::npos);
}

std::string modify(const std::string& dn, const std::string& value) {
    return "dn: " + dn + "\nchangetype: modify\nadd: member\nmember: " + value + "\n-\n\n";
}

TEST(RecordBatchesTest, OnlyWhatTheLoopCannotSeeStartsABatch) {
    struct Row {
        const char* what;
        std::string text;
        int window;
        Starts starts;
    };
    const auto moveBack = [](const char* name) {
        return std::string("dn: CN=") + name +
               ",OU=to,DC=x\nchangetype: moddn\nnewrdn: CN=" + name +
               "\ndeleteoldrdn: 1\nnewsuperior: OU=from,DC=x\n\n";
    };
    const auto unshown = [](std::string text) {
        const std::string control = "control: 1.2.840.113556.1.4.417 true\n";
        for (auto at = text.find(control); at != std::string::npos; at = text.find(control)) {
            text.erase(at, control.size());
        }
        return text;
    };
    const std::vector<Row> rows = {
        {"reanimated parent, then its child", kReanimations, 8, {0, 1}},
        {"without the show-deleted control no tombstone is renamed",
         unshown(kReanimations),
         8,
         {0}},
        {"the same one at a time", kReanimations, 1, {0}},
        {"moves back to one parent: independent",
         moveBack("a") + moveBack("b") + moveBack("c"),
         8,
         {0}},
        {"an OU added, then an object moved under it",
         "dn: OU=n,DC=x\nchangetype: add\nobjectClass: organizationalUnit\n\n"
         "dn: CN=a,OU=o,DC=x\nchangetype: moddn\nnewrdn: CN=a\ndeleteoldrdn: 1\n"
         "newsuperior: OU=n,DC=x\n",
         8,
         {0, 1}},
        {"renamed, then changed under its new name",
         "dn: CN=a,DC=x\nchangetype: modrdn\nnewrdn: CN=b\ndeleteoldrdn: 1\n\n" +
             modify("CN=b,DC=x", "x"),
         8,
         {0, 1}},
        {"a user added, then made a member of a sibling group",
         "dn: CN=u,DC=x\nchangetype: add\nobjectClass: user\n\n" + modify("CN=g,DC=x", "CN=u,DC=x"),
         8,
         {0, 1}},
        {"same object twice, or parent and child: the loop's own rule",
         modify("CN=g,DC=x", "a") + modify("CN=g,DC=x", "b") + modify("CN=h,CN=g,DC=x", "c"),
         8,
         {0}},
        {"the dependency further back than the window reaches",
         "dn: CN=u,DC=x\nchangetype: add\nobjectClass: user\n\n" + modify("CN=g1,DC=x", "y") +
             modify("CN=g2,DC=x", "CN=u,DC=x"),
         2,
         {0}},
        {"one batch ends where the next starts",
         kReanimations + "\n" + modify("CN=g,DC=x", "CN=c,OU=p,DC=x"),
         8,
         {0, 1, 2}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(recordBatches(records(row.text), row.window), row.starts);
    }
}

// Names are compared as the directory compares them, and as the loop does: one object
// written two ways is one object. A server working on requests in parallel answers a
// request that overtakes the one it depends on with 32; waiting, both succeed.
TEST_F(ApplyRecordsTest, UnderAWindowARecordWaitsForItsDependencyHoweverSpelled) {
    struct Row {
        const char* what;
        std::string text;
        int outstanding;
    };
    const std::string addOu = "dn: OU=n,DC=x\nchangetype: add\nobjectClass: organizationalUnit\n\n";
    const std::vector<Row> rows{
        {"renamed beyond ASCII, then changed in another case",
         "dn: CN=orig,DC=x\nchangetype: modrdn\nnewrdn: CN=\xC3\x89mile\ndeleteoldrdn: 1\n\n" +
             modify("cn=\xC3\xA9mile,DC=x", "x"),
         1},
        {"an OU added with an escape, a member under it written with another",
         "dn: OU=A\\2CB,DC=x\nchangetype: add\nobjectClass: organizationalUnit\n\n" +
             modify("CN=g,DC=x", "CN=u,OU=A\\,B,DC=x"),
         1},
        {"a member named with blanks, then deleted",
         modify("CN=g,DC=x", "CN=u,OU = p,DC=x") + "dn: CN=u,OU=p,DC=x\nchangetype: delete\n", 1},
        {"an OU added by OID, a member under it by name",
         "dn: 2.5.4.11=n,DC=x\nchangetype: add\nobjectClass: organizationalUnit\n\n" +
             modify("CN=g,DC=x", "CN=u,OU=n,DC=x"),
         1},
        {"an OU added, an object moved under it named by OID",
         addOu + "dn: CN=a,OU=o,DC=x\nchangetype: moddn\nnewrdn: CN=a\ndeleteoldrdn: 1\n"
                 "newsuperior: 2.5.4.11=n,DC=x\n",
         1},
        {"unrelated: they travel together", addOu + modify("CN=g,DC=x", "CN=u,OU=m,DC=x"), 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakeLdapLibrary parallel;
        parallel.overlapResult = 32;
        LdapSession overlapping = parallel.session();
        settings.mode = RunMode::ApplyRecords;
        settings.window = 2;
        RunContext run{captured.reporter, settings, overlapping, "dc1", results};
        runApplyRecords(run, records(row.text));
        EXPECT_EQ(parallel.maxOutstanding, row.outstanding);
        EXPECT_EQ(run.lastError, row.outstanding == 1 ? 0 : 32);
    }
}

}  // namespace
}  // namespace kestrel
