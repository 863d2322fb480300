// The requests delete, move, rename and undelete send, seen through a recording fake of
// the LDAP interface. The lab suites check the effects on a real directory; these check
// what that directory forgives (Samba takes a non-critical tree delete and a restore
// without the show-deleted control), and the exact request shapes.
#include "ops/relocate_objects.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace kestrel {
namespace {

struct RecordedMod {
    int op = 0;
    std::string type;
    std::vector<std::string> values;
    bool hasValueArray = false;

    bool operator==(const RecordedMod&) const = default;
};

struct Request {
    std::string kind;  // delete, rename, modify
    std::string dn;
    std::string newRdn;
    std::string newParent;
    bool deleteOldRdn = false;
    ServerControls controls;
    std::vector<RecordedMod> mods;
};

// Controls as comparable text: "oid value-length critical".
std::vector<std::string> described(const ServerControls& controls) {
    std::vector<std::string> texts;
    for (const ServerControl& control : controls) {
        texts.push_back(control.oid + " " + std::to_string(control.value.size()) +
                        (control.critical ? " critical" : " optional"));
    }
    return texts;
}

class RecordingConnection final : public LdapConnection {
  public:
    int ldap_set_option(int, int) override { return 0; }
    void setTimeLimit(int) override {}
    int negotiateBind() override { return 0; }
    int ldap_simple_bind_s(const std::string&, const std::string&) override { return 0; }

    int ldap_search_ext_s(const SearchRequest& request, std::vector<LdapEntry>& entries) override {
        searches.push_back(request);
        if (const auto it = searchCodes.find(request.base); it != searchCodes.end()) {
            return it->second;
        }
        LdapEntry entry;
        entry.dn = request.base;
        if (const auto it = lastKnownParents.find(request.base); it != lastKnownParents.end()) {
            entry.attributes.push_back(LdapAttribute{"lastKnownParent", {it->second}});
        }
        entries.push_back(entry);
        return 0;
    }

    int ldap_delete_ext(const std::string& dn, const ServerControls& controls,
                        int& messageId) override {
        Request request;
        request.kind = "delete";
        request.dn = dn;
        request.controls = controls;
        return record(request, messageId);
    }

    int ldap_rename_ext(const std::string& dn, const std::string& newRdn,
                        const std::string& newParent, bool deleteOldRdn,
                        const ServerControls& controls, int& messageId) override {
        Request request;
        request.kind = "rename";
        request.dn = dn;
        request.newRdn = newRdn;
        request.newParent = newParent;
        request.deleteOldRdn = deleteOldRdn;
        request.controls = controls;
        return record(request, messageId);
    }

    int ldap_modify_ext(const std::string& dn, LDAPMod* const* mods, const ServerControls& controls,
                        int& messageId) override {
        Request request;
        request.kind = "modify";
        request.dn = dn;
        request.controls = controls;
        for (LDAPMod* const* mod = mods; *mod != nullptr; ++mod) {
            RecordedMod recorded;
            recorded.op = (*mod)->mod_op;
            recorded.type = (*mod)->mod_type;
            recorded.hasValueArray = (*mod)->mod_values != nullptr;
            for (char** value = (*mod)->mod_values; value != nullptr && *value != nullptr;
                 ++value) {
                recorded.values.emplace_back(*value);
            }
            request.mods.push_back(recorded);
        }
        return record(request, messageId);
    }

    int ldap_add_ext(const std::string& dn, LDAPMod* const*, const ServerControls&,
                     int& messageId) override {
        Request request;
        request.kind = "add";
        request.dn = dn;
        return record(request, messageId);
    }

    int passwordModify(const std::string&, const std::string&) override { return 0; }

    int ldap_result(int messageId, int, std::string& diagnostic) override {
        const std::string& dn = requests.at(static_cast<std::size_t>(messageId - 1)).dn;
        if (const auto it = resultCodes.find(dn); it != resultCodes.end()) {
            diagnostic = "server text for " + dn;
            return it->second;
        }
        return 0;
    }

    std::string lastDiagnostic() override { return ""; }
    std::string hostName() override { return "localhost"; }

    std::vector<Request> requests;
    std::vector<SearchRequest> searches;
    std::map<std::string, int> resultCodes;               // by target DN; others succeed
    std::map<std::string, int> searchCodes;               // by base DN
    std::map<std::string, std::string> lastKnownParents;  // by tombstone DN

  private:
    int record(const Request& request, int& messageId) {
        requests.push_back(request);
        messageId = static_cast<int>(requests.size());
        return 0;
    }
};

class RelocateTest : public testing::Test {
  protected:
    RelocateTest() {
        auto connection = std::make_unique<RecordingConnection>();
        fake = connection.get();
        session.handle = std::move(connection);
    }

    RunContext context() { return RunContext{console, settings, session, "dc1.homelab.net"}; }

    std::ostringstream out;
    std::ostringstream err;
    Console console{out, err};
    RunSettings settings;
    LdapSession session;
    RecordingConnection* fake = nullptr;
};

const std::vector<std::string> kTreeDelete{"1.2.840.113556.1.4.805 0 critical"};
const std::vector<std::string> kShowDeleted{"1.2.840.113556.1.4.417 0 critical"};
const std::string kStaff = "OU=Staff,DC=homelab,DC=net";

TEST_F(RelocateTest, TreeDeleteSendsOneCriticalControlWithoutValueOnEveryDelete) {
    settings.treeDelete = true;
    RunContext run = context();
    runDelete(run, {"CN=a," + kStaff, "CN=b," + kStaff});
    ASSERT_EQ(fake->requests.size(), 2u);
    for (const Request& request : fake->requests) {
        EXPECT_EQ(request.kind, "delete");
        EXPECT_EQ(described(request.controls), kTreeDelete);
    }
    EXPECT_EQ(run.lastError, 0);
}

TEST_F(RelocateTest, PlainDeleteSendsNoControlAndStopsAtTheFirstFailure) {
    fake->resultCodes["CN=b," + kStaff] = 66;
    RunContext run = context();
    runDelete(run, {"CN=a," + kStaff, "CN=b," + kStaff, "CN=c," + kStaff});
    ASSERT_EQ(fake->requests.size(), 2u);
    EXPECT_TRUE(fake->requests[0].controls.empty());
    EXPECT_EQ(run.lastError, 66);
    EXPECT_EQ(out.str(),
              "Deleting specified objects...\n"
              "   DN: CN=a," +
                  kStaff +
                  "...\n"
                  "   DN: CN=b," +
                  kStaff +
                  "..."
                  "\n\nERROR: Too many errors encountered, terminating...\n");
    EXPECT_EQ(err.str(),
              ": [dc1.homelab.net] Error 0x42 (66) - Operation not allowed on non-leaf\n");
}

TEST_F(RelocateTest, MoveSendsTheRdnAsWrittenAndTheParentAsTyped) {
    settings.newParent = "ou=Old,DC=homelab,DC=net";
    RunContext run = context();
    runMove(run, {"CN=kim," + kStaff, "CN=Lee\\, Ann , " + kStaff});
    ASSERT_EQ(fake->requests.size(), 2u);
    EXPECT_EQ(fake->requests[0].newRdn, "CN=kim");
    EXPECT_EQ(fake->requests[1].newRdn, "CN=Lee\\, Ann");
    for (const Request& request : fake->requests) {
        EXPECT_EQ(request.kind, "rename");
        EXPECT_EQ(request.newParent, "ou=Old,DC=homelab,DC=net");
        EXPECT_TRUE(request.deleteOldRdn);
        EXPECT_TRUE(request.controls.empty());
    }
}

TEST_F(RelocateTest, MoveStopMessageHasNoLeadingBlankLines) {
    settings.newParent = "OU=Missing,DC=homelab,DC=net";
    settings.showExtendedError = true;
    fake->resultCodes["CN=kim," + kStaff] = 80;
    RunContext run = context();
    runMove(run, {"CN=kim," + kStaff, "CN=lee," + kStaff});
    EXPECT_EQ(fake->requests.size(), 1u);
    EXPECT_EQ(run.lastError, 80);
    EXPECT_EQ(out.str(),
              "Moving specified objects to OU=Missing,DC=homelab,DC=net...\n"
              "   DN: CN=kim," +
                  kStaff +
                  "..."
                  "   Extended Error: server text for CN=kim," +
                  kStaff +
                  "\n"
                  "ERROR: Too many errors encountered, terminating...\n");
}

TEST_F(RelocateTest, TargetsThatAreNotDnsAreRefusedWithoutARequest) {
    settings.newParent = kStaff;
    {
        RunContext run = context();
        runMove(run, {"notadn", "CN=kim," + kStaff});
        EXPECT_EQ(run.lastError, 34);
        EXPECT_FALSE(run.keepGoing);
    }
    EXPECT_TRUE(fake->requests.empty());
    EXPECT_EQ(out.str(), "Moving specified objects to " + kStaff +
                             "...\n"
                             "   DN: notadn...ERROR: Not a valid DN, nothing was sent for it.\n"
                             "ERROR: Too many errors encountered, terminating...\n");

    // With -cont the next target still goes out; undelete makes no lookup for the bad one.
    out.str("");
    settings.continueOnError = true;
    settings.newParent = "";
    fake->lastKnownParents["CN=kim\\0ADEL:1,CN=Deleted Objects,DC=homelab,DC=net"] = kStaff;
    RunContext run = context();
    runUndelete(run, {"kim", "CN=kim\\0ADEL:1,CN=Deleted Objects,DC=homelab,DC=net"});
    EXPECT_EQ(fake->searches.size(), 1u);
    EXPECT_EQ(fake->requests.size(), 1u);
    EXPECT_EQ(run.lastError, 34);
}

struct RenameCase {
    std::string dn;
    std::string newName;
    std::string newRdn;
    std::string newParent;
};

TEST_F(RelocateTest, RenameKeepsTheTypeAndTheParent) {
    const std::vector<RenameCase> cases{
        {"CN=kim," + kStaff, "bob", "CN=bob", kStaff},
        {"CN=kim," + kStaff, "CN=bob", "CN=CN=bob", kStaff},
        {"OU=Staff,DC=homelab,DC=net", "Crew", "OU=Crew", "DC=homelab,DC=net"},
        {"CN=kim;OU=Staff,DC=homelab,DC=net", "bob", "CN=bob", kStaff},
        {"CN=kim , OU=Staff,DC=homelab,DC=net", "bob", "CN=bob", kStaff},
        {"CN=a\\,b," + kStaff, "c", "CN=c", kStaff},
        {"CN=kim", "bob", "CN=bob", ""},
    };
    for (const RenameCase& c : cases) {
        settings.newRdn = c.newName;
        RunContext run = context();
        runRename(run, {c.dn});
        ASSERT_FALSE(fake->requests.empty());
        const Request& request = fake->requests.back();
        EXPECT_EQ(request.dn, c.dn);
        EXPECT_EQ(request.newRdn, c.newRdn) << c.dn;
        EXPECT_EQ(request.newParent, c.newParent) << c.dn;
        EXPECT_TRUE(request.deleteOldRdn);
    }
    EXPECT_EQ(fake->requests.size(), cases.size());
}

TEST_F(RelocateTest, RenameWritesTheHeadingAndNoProgressLine) {
    settings.newRdn = "bob";
    fake->resultCodes["CN=kim," + kStaff] = 68;
    RunContext run = context();
    runRename(run, {"CN=kim," + kStaff});
    EXPECT_EQ(run.lastError, 68);
    EXPECT_EQ(out.str(), "Renaming CN=kim," + kStaff + " to bob...\n");
}

TEST_F(RelocateTest, UndeleteRestoresUnderTheLowerCasedLastKnownParent) {
    const std::string tombstone =
        "CN=Kim Lee\\0ADEL:5f3c0c1e-9a2b-4c1d-8e7f-0123456789ab,CN=Deleted "
        "Objects,DC=homelab,DC=net";
    fake->lastKnownParents[tombstone] = "OU=Staff \xC3\x84,DC=homelab,DC=net";
    RunContext run = context();
    runUndelete(run, {tombstone});

    ASSERT_EQ(fake->searches.size(), 1u);
    const SearchRequest& search = fake->searches[0];
    EXPECT_EQ(search.base, tombstone);
    EXPECT_EQ(search.scope, LDAP_SCOPE_BASE);
    EXPECT_EQ(search.attributes, std::vector<std::string>{"lastKnownParent"});
    EXPECT_EQ(described(search.controls), kShowDeleted);
    EXPECT_EQ(search.sizeLimit, 1);

    ASSERT_EQ(fake->requests.size(), 1u);
    const Request& request = fake->requests[0];
    EXPECT_EQ(request.kind, "modify");
    EXPECT_EQ(request.dn, tombstone);
    EXPECT_EQ(described(request.controls), kShowDeleted);
    // Only ASCII letters fold: the bytes of the other letters reach the server unchanged.
    const std::vector<RecordedMod> expected{
        {LDAP_MOD_DELETE, "isdeleted", {}, false},
        {LDAP_MOD_REPLACE,
         "distinguishedName",
         {"CN=Kim Lee,ou=staff \xC3\x84,dc=homelab,dc=net"},
         true},
    };
    EXPECT_EQ(request.mods, expected);
    EXPECT_EQ(run.lastError, 0);
    EXPECT_EQ(out.str(), "Undeleting specified objects...\n   DN: " + tombstone + "...\n");
}

TEST_F(RelocateTest, UndeleteToAnAlternateParentMakesNoLookup) {
    settings.newParent = "OU=Restored,DC=homelab,DC=net";
    RunContext run = context();
    runUndelete(run,
                {"CN=kim\\0adel:1,CN=Deleted Objects,DC=homelab,DC=net", "CN=plain," + kStaff});
    EXPECT_TRUE(fake->searches.empty());
    ASSERT_EQ(fake->requests.size(), 2u);
    EXPECT_EQ(fake->requests[0].mods[1].values,
              std::vector<std::string>{"CN=kim,OU=Restored,DC=homelab,DC=net"});
    // An RDN without the deletion mangling is used whole.
    EXPECT_EQ(fake->requests[1].mods[1].values,
              std::vector<std::string>{"CN=plain,OU=Restored,DC=homelab,DC=net"});
}

TEST_F(RelocateTest, UndeleteSkipsWithoutStoppingTheLoop) {
    const std::string underDeleted = "CN=a\\0ADEL:1,CN=Deleted Objects,DC=homelab,DC=net";
    const std::string noParent = "CN=b\\0ADEL:2,CN=Deleted Objects,DC=homelab,DC=net";
    const std::string lookupFails = "CN=c\\0ADEL:3,CN=Deleted Objects,DC=homelab,DC=net";
    const std::string good = "CN=d\\0ADEL:4,CN=Deleted Objects,DC=homelab,DC=net";
    fake->lastKnownParents[underDeleted] = "OU=Gone\\0ADEL:9,CN=Deleted Objects,DC=homelab,DC=net";
    fake->searchCodes[lookupFails] = 32;
    fake->lastKnownParents[good] = kStaff;
    RunContext run = context();
    runUndelete(run, {underDeleted, noParent, lookupFails, good});

    ASSERT_EQ(fake->requests.size(), 1u);
    EXPECT_EQ(fake->requests[0].dn, good);
    EXPECT_EQ(run.lastError, -1);  // the later success does not clear it
    EXPECT_EQ(out.str(),
              "Undeleting specified objects...\n"
              "   DN: " +
                  underDeleted +
                  "...ERROR: ,cn=Deleted Objects, in Last Known Parent, skipping...\n"
                  "   DN: " +
                  noParent +
                  "...ERROR: Can't determine Last Known Parent, skipping...\n"
                  "   DN: " +
                  lookupFails +
                  "...ERROR: Can't determine Last Known Parent, skipping...\n"
                  "   DN: " +
                  good + "...\n");
    EXPECT_EQ(err.str(), "Error: lastKnownParent: [] Error 0x20 (32) - No such object\n");
}

TEST_F(RelocateTest, QuietUndeleteWritesOnlyWhatExplainsTheRun) {
    console.quiet = true;
    const std::string underDeleted = "CN=a\\0ADEL:1,CN=Deleted Objects,DC=homelab,DC=net";
    const std::string lookupFails = "CN=c\\0ADEL:3,CN=Deleted Objects,DC=homelab,DC=net";
    const std::string good = "CN=d\\0ADEL:4,CN=Deleted Objects,DC=homelab,DC=net";
    fake->lastKnownParents[underDeleted] = "ou=gone\\0adel:9,cn=deleted objects,dc=homelab,dc=net";
    fake->searchCodes[lookupFails] = 32;
    fake->lastKnownParents[good] = kStaff;
    RunContext run = context();
    runUndelete(run, {underDeleted, lookupFails, "notadn", good});
    EXPECT_EQ(run.lastError, 34);
    EXPECT_EQ(out.str(), "\n\nERROR: Too many errors encountered, terminating...\n");
    EXPECT_EQ(err.str(), "Error: lastKnownParent: [] Error 0x20 (32) - No such object\n");
    EXPECT_TRUE(fake->requests.empty());
}

}  // namespace
}  // namespace kestrel
