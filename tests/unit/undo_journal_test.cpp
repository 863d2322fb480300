#include "ops/undo_journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fake_ldap.h"
#include "ops/relocate_objects.h"
#include "session/forwarding_connection.h"

namespace kestrel {
namespace {

using fake::CapturedConsole;
using fake::FakeLdapLibrary;
using fake::result;
using fake::SearchAnswer;

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Notes how much of the journal was on disk when each write left for the directory.
class DiskSizeAtSend final : public ForwardingConnection {
  public:
    DiskSizeAtSend(std::unique_ptr<LdapConnection> real, std::string path)
        : ForwardingConnection(std::move(real)), path_(std::move(path)) {}

    std::vector<std::string> journalAtSend;

    int ldap_delete_ext(const std::string& dn, const ServerControls& controls,
                        int& messageId) override {
        journalAtSend.push_back(fileText(path_));
        return ForwardingConnection::ldap_delete_ext(dn, controls, messageId);
    }
    int ldap_rename_ext(const std::string& dn, const std::string& newRdn,
                        const std::string& newParent, bool deleteOldRdn,
                        const ServerControls& controls, int& messageId) override {
        journalAtSend.push_back(fileText(path_));
        return ForwardingConnection::ldap_rename_ext(dn, newRdn, newParent, deleteOldRdn, controls,
                                                     messageId);
    }
    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override {
        journalAtSend.push_back(fileText(path_));
        return ForwardingConnection::sendModifications(request, dn, modifications, controls,
                                                       messageId);
    }
    int passwordModify(const std::string& userDn, const std::string& password) override {
        return ForwardingConnection::passwordModify(userDn, password);
    }

  private:
    std::string path_;
};

class UndoJournalTest : public ::testing::Test {
  protected:
    UndoJournalTest() {
        char pattern[] = "/tmp/kestrel-undo-test.XXXXXX";
        directory_ = mkdtemp(pattern);
        path_ = directory_ + "/undo.ldif";
        std::string why;
        journal_ = UndoJournal::create(path_, why);
        EXPECT_TRUE(journal_) << why;
        auto spy = std::make_unique<DiskSizeAtSend>(library.session().handle, path_);
        spy_ = spy.get();
        connection_ = journalingConnection(std::move(spy), *journal_, captured.reporter,
                                           {"badpwdcount", "objectguid"});
    }
    ~UndoJournalTest() override {
        connection_.reset();
        journal_.reset();
        std::remove(path_.c_str());
        rmdir(directory_.c_str());
    }

    // Sends one write through the journal and awaits it, as the per-target loop does.
    int sendAndAwait(const std::function<int(LdapConnection&, int&)>& send) {
        int id = 0;
        int code = send(*connection_, id);
        if (code == 0 && id != 0) {
            std::string diagnostic;
            code = connection_->ldap_result(id, 120, diagnostic);
        }
        return code;
    }

    std::string journal() const { return fileText(path_); }

    FakeLdapLibrary library;
    CapturedConsole captured;
    std::string directory_;
    std::string path_;
    std::unique_ptr<UndoJournal> journal_;
    DiskSizeAtSend* spy_ = nullptr;
    std::unique_ptr<LdapConnection> connection_;
};

TEST_F(UndoJournalTest, ANewPrivateFileAndNeverAnExistingOne) {
    struct stat info {};
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::string why;
    EXPECT_FALSE(UndoJournal::create(path_, why));
    EXPECT_EQ(why, "File exists");
    const std::string link = directory_ + "/link.ldif";
    ASSERT_EQ(symlink((directory_ + "/elsewhere").c_str(), link.c_str()), 0);
    EXPECT_FALSE(UndoJournal::create(link, why));
    std::remove(link.c_str());
}

// The previous values go back; an attribute that had none is removed again; the record is
// on disk before the modify leaves.
TEST_F(UndoJournalTest, AModifyIsUndoneByItsPreviousValues) {
    library.searchAnswers.push_back(SearchAnswer{
        0,
        {LdapEntry{"cn=a,dc=x",
                   {{"description", {"old"}}, {"jpegPhoto", {std::string("\0\1", 2)}}}}}});
    const std::vector<Modification> mods{
        {ModOperation::Replace, "description", {"new"}, false},
        {ModOperation::Add, "telephonenumber", {"555"}, false},
        {ModOperation::Delete, "jpegphoto", {}, true},
        {ModOperation::Replace, "unicodePwd", {"x"}, true},
    };
    EXPECT_EQ(sendAndAwait([&](LdapConnection& c, int& id) {
                  return c.sendModifications(ModificationRequest::Modify, "cn=a,dc=x", mods, {},
                                             id);
              }),
              0);
    const std::string expected =
        "# Undo of the modify of cn=a,dc=x\n"
        "# unicodePwd: a password cannot be read back, so its change cannot be undone.\n"
        "dn: cn=a,dc=x\nchangetype: modify\n"
        "replace: description\ndescription: old\n-\n"
        "replace: telephonenumber\n-\n"
        "replace: jpegphoto\njpegphoto:: AAE=\n-\n\n";
    EXPECT_EQ(journal(), expected);
    ASSERT_EQ(spy_->journalAtSend.size(), 1u);
    EXPECT_EQ(spy_->journalAtSend.front(), expected);
    const std::vector<fake::Call> searches = library.callsOf(fake::Call::Kind::Search);
    ASSERT_EQ(searches.size(), 1u);
    EXPECT_EQ(searches.front().search.attributes,
              (std::vector<std::string>{"description", "telephonenumber", "jpegphoto"}));
}

TEST_F(UndoJournalTest, AFailedWriteLeavesNoRecord) {
    library.searchAnswers.push_back(
        SearchAnswer{0, {LdapEntry{"cn=a,dc=x", {{"description", {"old"}}}}}});
    library.answerRequests({result(50)});
    const std::vector<Modification> mods{{ModOperation::Replace, "description", {"new"}, false}};
    EXPECT_EQ(sendAndAwait([&](LdapConnection& c, int& id) {
                  return c.sendModifications(ModificationRequest::Modify, "cn=a,dc=x", mods, {},
                                             id);
              }),
              50);
    EXPECT_EQ(journal(),
              "# cn=a,dc=x: the modify failed (Insufficient access), so there is nothing to "
              "undo.\n\n");
}

TEST_F(UndoJournalTest, AddMoveRenameAndUndeleteAreReversed) {
    struct Row {
        const char* what;
        std::function<int(LdapConnection&, int&)> send;
        std::string record;
    };
    const std::vector<Modification> add{{ModOperation::Add, "objectclass", {"user"}, false}};
    const std::vector<Modification> undelete{
        {ModOperation::Delete, "isdeleted", {}, false},
        {ModOperation::Replace, "distinguishedName", {"cn=a,ou=b,dc=x"}, false}};
    const std::vector<Row> rows{
        {"add",
         [&](LdapConnection& c, int& id) {
             return c.sendModifications(ModificationRequest::Add, "cn=n,dc=x", add, {}, id);
         },
         "# Undo of the add of cn=n,dc=x\ndn: cn=n,dc=x\nchangetype: delete\n\n"},
        {"move",
         [](LdapConnection& c, int& id) {
             return c.ldap_rename_ext("cn=a,ou=old,dc=x", "cn=a", "ou=new,dc=x", true, {}, id);
         },
         "# Undo of the move of cn=a,ou=old,dc=x\ndn: cn=a,ou=new,dc=x\nchangetype: moddn\n"
         "newrdn: cn=a\ndeleteoldrdn: 1\nnewsuperior: ou=old,dc=x\n\n"},
        {"rename",
         [](LdapConnection& c, int& id) {
             return c.ldap_rename_ext("cn=a,ou=old,dc=x", "cn=b", "ou=old,dc=x", true, {}, id);
         },
         "# Undo of the move of cn=a,ou=old,dc=x\ndn: cn=b,ou=old,dc=x\nchangetype: moddn\n"
         "newrdn: cn=a\ndeleteoldrdn: 1\nnewsuperior: ou=old,dc=x\n\n"},
        {"rename where it stands",
         [](LdapConnection& c, int& id) {
             return c.ldap_rename_ext("cn=a", "cn=b", "", true, {}, id);
         },
         "# Undo of the rename of cn=a\ndn: cn=b\nchangetype: moddn\nnewrdn: cn=a\n"
         "deleteoldrdn: 1\n\n"},
        {"undelete",
         [&](LdapConnection& c, int& id) {
             return c.sendModifications(ModificationRequest::Modify,
                                        "CN=a\\0ADEL:1,CN=Deleted Objects,dc=x", undelete,
                                        {{kShowDeletedOid, "", true}}, id);
         },
         "# Undo of the undelete of CN=a\\0ADEL:1,CN=Deleted Objects,dc=x\n"
         "dn: cn=a,ou=b,dc=x\nchangetype: delete\n\n"},
    };
    std::string expected;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(sendAndAwait(row.send), 0);
        expected += row.record;
        EXPECT_EQ(journal(), expected);
        EXPECT_EQ(spy_->journalAtSend.back(), expected);  // on disk before the write
    }
}

// The pre-image (with the objectGUID) is journalled before the delete; after it the
// tombstone is found by objectGUID and reanimated with what it lost, children written
// first so that the reversed journal restores parents first.
TEST_F(UndoJournalTest, ATreeDeleteReanimatesEveryObject) {
    const std::string guidParent("\x11\x22", 2);
    const std::string guidChild("\x33\x44", 2);
    library.searchAnswers.push_back(
        SearchAnswer{0,
                     {LdapEntry{"ou=p,dc=x", {{"ou", {"p"}}, {"objectGUID", {guidParent}}}},
                      LdapEntry{"cn=c,ou=p,dc=x",
                                {{"cn", {"c"}},
                                 {"objectGUID", {guidChild}},
                                 {"description", {"kept"}},
                                 {"badPwdCount", {"0"}},
                                 {"sAMAccountName", {"c"}}}}}});
    library.searchAnswers.push_back(SearchAnswer{
        0, {LdapEntry{"CN=c\\0ADEL:3344,CN=Deleted Objects,dc=x", {{"sAMAccountName", {"c"}}}}}});
    library.searchAnswers.push_back(
        SearchAnswer{0, {LdapEntry{"OU=p\\0ADEL:1122,CN=Deleted Objects,dc=x", {}}}});
    EXPECT_EQ(sendAndAwait([](LdapConnection& c, int& id) {
                  return c.ldap_delete_ext("ou=p,dc=x", {{kTreeDeleteOid, "", true}}, id);
              }),
              0);
    const std::string text = journal();
    ASSERT_EQ(spy_->journalAtSend.size(), 1u);
    EXPECT_NE(spy_->journalAtSend.front().find("cn=c,ou=p,dc=x (objectGUID 3344)"),
              std::string::npos);
    EXPECT_NE(spy_->journalAtSend.front().find("ou=p,dc=x (objectGUID 1122)"), std::string::npos);
    const std::string child =
        "# Undo of the delete of cn=c,ou=p,dc=x\n"
        "# Not restored, the server maintains them: objectGUID, badPwdCount\n"
        "dn: CN=c\\0ADEL:3344,CN=Deleted Objects,dc=x\n"
        "control: 1.2.840.113556.1.4.417 true\nchangetype: modify\n"
        "delete: isDeleted\n-\n"
        "replace: distinguishedName\ndistinguishedName: cn=c,ou=p,dc=x\n-\n"
        "replace: description\ndescription: kept\n-\n\n";
    const std::string parent =
        "# Undo of the delete of ou=p,dc=x\n"
        "# Not restored, the server maintains them: objectGUID\n"
        "dn: OU=p\\0ADEL:1122,CN=Deleted Objects,dc=x\n"
        "control: 1.2.840.113556.1.4.417 true\nchangetype: modify\n"
        "delete: isDeleted\n-\n"
        "replace: distinguishedName\ndistinguishedName: ou=p,dc=x\n-\n\n";
    const auto childAt = text.find(child);
    const auto parentAt = text.find(parent);
    EXPECT_NE(childAt, std::string::npos) << text;
    EXPECT_NE(parentAt, std::string::npos) << text;
    EXPECT_LT(childAt, parentAt);
    const std::vector<fake::Call> searches = library.callsOf(fake::Call::Kind::Search);
    ASSERT_EQ(searches.size(), 3u);
    EXPECT_EQ(searches[1].search.base, "<GUID=3344>");
    EXPECT_EQ(searches[2].search.base, "<GUID=1122>");
}

// A group's members deleted with it, and an object's memberships in other groups, come
// back only once every object is back: their records come before the reanimations in the
// file, so the reversed journal applies them last.
TEST_F(UndoJournalTest, LinksAndMembershipsFollowTheReanimations) {
    library.searchAnswers.push_back(
        SearchAnswer{0,
                     {LdapEntry{"ou=p,dc=x", {{"objectGUID", {std::string("\x01", 1)}}}},
                      LdapEntry{"cn=g,ou=p,dc=x",
                                {{"objectGUID", {std::string("\x02", 1)}},
                                 {"member", {"CN=U,OU=P,DC=X", "cn=outside,dc=x"}}}},
                      LdapEntry{"cn=u,ou=p,dc=x",
                                {{"objectGUID", {std::string("\x03", 1)}},
                                 {"memberOf", {"cn=g,ou=p,dc=x", "cn=staff,dc=x"}}}}}});
    for (const char* tombstone :
         {"CN=g\\0ADEL:02,CN=Deleted Objects,dc=x", "CN=u\\0ADEL:03,CN=Deleted Objects,dc=x",
          "OU=p\\0ADEL:01,CN=Deleted Objects,dc=x"}) {
        library.searchAnswers.push_back(SearchAnswer{0, {LdapEntry{tombstone, {}}}});
    }
    EXPECT_EQ(sendAndAwait([](LdapConnection& c, int& id) {
                  return c.ldap_delete_ext("ou=p,dc=x", {{kTreeDeleteOid, "", true}}, id);
              }),
              0);
    const std::string text = journal();
    const auto links = text.find(
        "dn: cn=g,ou=p,dc=x\nchangetype: modify\nreplace: member\nmember: CN=U,OU=P,DC=X\n"
        "member: cn=outside,dc=x\n-\n");
    const auto membership = text.find(
        "dn: cn=staff,dc=x\nchangetype: modify\nadd: member\nmember: cn=u,ou=p,dc=x\n-\n");
    const auto firstReanimation = text.find("delete: isDeleted");
    EXPECT_NE(links, std::string::npos) << text;
    EXPECT_NE(membership, std::string::npos) << text;
    EXPECT_LT(links, firstReanimation);
    EXPECT_LT(membership, firstReanimation);
    // The group's own reanimation does not carry the members it could not yet take, and
    // the membership in the deleted group is left to that group's links record.
    EXPECT_EQ(text.find("member: cn=outside,dc=x", firstReanimation), std::string::npos);
    EXPECT_EQ(text.find("dn: cn=g,ou=p,dc=x\nchangetype: modify\nadd: member"), std::string::npos);
}

TEST_F(UndoJournalTest, APasswordStepIsNamedAsNotUndoable) {
    fake::FakePasswordSetter real;
    JournalingPasswordSetter passwords(real, *journal_);
    EXPECT_EQ(passwords.setPassword(captured.reporter, "dc1", "cn=a,dc=x", "Secret-1"), 0);
    EXPECT_EQ(real.requests.size(), 1u);
    EXPECT_EQ(journal().find("Secret-1"), std::string::npos);
    EXPECT_NE(journal().find("cn=a,dc=x: its password is set by this run"), std::string::npos);
}

}  // namespace
}  // namespace kestrel
