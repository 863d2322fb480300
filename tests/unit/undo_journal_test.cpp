#include "undo/undo_journal.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "directory/complete_read.h"
#include "directory/forwarding_connection.h"
#include "fake_ldap.h"
#include "ops/apply_records.h"
#include "ops/process_targets.h"
#include "ops/relocate_objects.h"
#include "undo/journaling_password_setter.h"
#include "undo/undo_attributes.h"

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
class DiskSizeAtSend final : public PassingConnection {
  public:
    DiskSizeAtSend(std::unique_ptr<LdapConnection> real, std::string path)
        : PassingConnection(std::move(real)), path_(std::move(path)) {}

    std::vector<std::string> journalAtSend;

    int sendDelete(const std::string& dn, const ServerControls& controls, int& messageId) override {
        journalAtSend.push_back(fileText(path_));
        return ForwardingConnection::sendDelete(dn, controls, messageId);
    }
    int sendRename(const std::string& dn, const std::string& newRdn, const std::string& newParent,
                   bool deleteOldRdn, const ServerControls& controls, int& messageId) override {
        journalAtSend.push_back(fileText(path_));
        return ForwardingConnection::sendRename(dn, newRdn, newParent, deleteOldRdn, controls,
                                                messageId);
    }
    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override {
        journalAtSend.push_back(fileText(path_));
        return ForwardingConnection::sendModifications(request, dn, modifications, controls,
                                                       messageId);
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
        UndoAttributes attributes;
        attributes.maintained = {"badpwdcount", "objectguid"};
        attributes.schema.addName("2.5.4.13", "description");
        attributes.schema.addName("2.5.4.31", "member", ValueSyntax::Dn);
        journalWith(std::move(attributes));
    }
    void journalWith(UndoAttributes attributes) {
        auto spy = std::make_unique<DiskSizeAtSend>(library.session().handle, path_);
        spy_ = spy.get();
        connection_ = journalingConnection(std::move(spy), *journal_, captured.reporter,
                                           std::move(attributes));
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
            bool sent = false;
            code = connection_->waitForResult(id, 120, diagnostic, sent);
        }
        return code;
    }

    int modify(const std::vector<Modification>& mods, const std::string& dn = "cn=a,dc=x",
               const ServerControls& controls = {}) {
        return sendAndAwait([&](LdapConnection& c, int& id) {
            return c.sendModifications(ModificationRequest::Modify, dn, mods, controls, id);
        });
    }

    int remove(const std::string& dn) {
        return sendAndAwait([&](LdapConnection& c, int& id) { return c.sendDelete(dn, {}, id); });
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

// Runs `body` in a child process whose files may grow to `limit` bytes: a full disk
// without filling one. True when the child's body returned true.
bool withFileSizeLimit(rlim_t limit, const std::function<bool()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        const rlimit bound{limit, limit};
        setrlimit(RLIMIT_FSIZE, &bound);
        std::signal(SIGXFSZ, SIG_IGN);  // as the program's entry does: a write fails instead
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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
    // A journal that holds nothing goes with its run, so the same command can run again.
    connection_.reset();
    journal_.reset();
    EXPECT_NE(stat(path_.c_str(), &info), 0);
}

// A full disk or a file size limit never leaves half a record behind: the next record
// would continue it into a change nobody wrote.
TEST_F(UndoJournalTest, AFailedAppendLeavesTheLastWholeRecord) {
    EXPECT_TRUE(withFileSizeLimit(100, [&] {
        std::string why;
        return journal_->append(std::string(60, 'a'), why) &&
               !journal_->append(std::string(60, 'b'), why) && why == "File too large" &&
               fileText(path_) == std::string(60, 'a') && journal_->size() == 60;
    }));
}

// Each record is the exact inverse of what the write did, value by value, so applying it
// fails rather than overwrites once the object no longer holds what the run wrote. Only
// replaced and cleared attributes are read first, completely and by the server's names.
TEST_F(UndoJournalTest, AModifyIsUndoneValueByValue) {
    struct Row {
        const char* what;
        std::vector<Modification> mods;
        std::deque<SearchAnswer> before;
        std::string body;
        std::size_t reads;
    };
    const auto entry = [](std::vector<LdapAttribute> attributes) {
        return SearchAnswer{0, {LdapEntry{"cn=a,dc=x", std::move(attributes)}}};
    };
    const std::vector<Row> rows{
        {"a replace deletes what it left, then adds the old values",
         {{ModOperation::Replace, "description", {"new"}, false}},
         {entry({{"description", {"old"}}})},
         "delete: description\ndescription: new\n-\nadd: description\ndescription: old\n-\n",
         1},
        {"a replace of an absent attribute deletes what it left",
         {{ModOperation::Replace, "description", {"new"}, false}},
         {entry({})},
         "delete: description\ndescription: new\n-\n",
         1},
        {"a clear adds the old values back",
         {{ModOperation::Delete, "jpegphoto", {}, true}},
         {entry({{"jpegPhoto", {std::string("\0\1", 2)}}})},
         "add: jpegphoto\njpegphoto:: AAE=\n-\n",
         1},
        {"values added are deleted, removed ones added, last first, with no read",
         {{ModOperation::Add, "drink", {"a", "b"}, false},
          {ModOperation::Delete, "drink", {"c"}, false}},
         {},
         "add: drink\ndrink: c\n-\ndelete: drink\ndrink: a\ndrink: b\n-\n",
         0},
        {"an OID is matched to the name the server answers with",
         {{ModOperation::Replace, "2.5.4.13", {"new"}, false}},
         {entry({{"description", {"old"}}})},
         "delete: 2.5.4.13\n2.5.4.13: new\n-\nadd: 2.5.4.13\n2.5.4.13: old\n-\n",
         1},
        {"every value of a ranged attribute",
         {{ModOperation::Replace, "member", {"cn=x"}, false}},
         {entry({{"member;range=0-1", {"cn=a", "cn=b"}}}), entry({{"member;range=2-*", {"cn=c"}}})},
         "delete: member\nmember: cn=x\n-\nadd: member\nmember: cn=a\nmember: cn=b\n"
         "member: cn=c\n-\n",
         2},
    };
    std::string expected;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::size_t readsBefore = library.count(fake::Call::Kind::Search);
        library.searchAnswers = row.before;
        EXPECT_EQ(modify(row.mods), 0);
        expected += "# Undo of the modify of cn=a,dc=x\ndn: cn=a,dc=x\nchangetype: modify\n" +
                    row.body + "\n";
        EXPECT_EQ(journal(), expected);
        EXPECT_EQ(spy_->journalAtSend.back(), expected);  // on disk before the write
        EXPECT_EQ(library.count(fake::Call::Kind::Search) - readsBefore, row.reads);
    }
}

// Under the permissive control a value added that was there, or removed that was absent,
// changed nothing: the record reverses only the rest, so an undo never takes away a value
// the object held before the run.
TEST_F(UndoJournalTest, APermissiveModifyIsUndoneForWhatChangedOnly) {
    struct Row {
        const char* what;
        std::vector<Modification> mods;
        std::vector<LdapAttribute> before;
        std::string record;  // after the "Undo of the modify" comment
    };
    const std::string leftOut = " value(s) already as asked, so not changed and left out.\n";
    const std::string head = "dn: cn=a,dc=x\nchangetype: modify\n";
    const std::vector<Row> rows{
        {"a member already there, named otherwise, is not removed",
         {{ModOperation::Add, "member", {"cn=Ann,dc=x", "cn=Bob,dc=x", "cn=Cy,dc=x"}, false}},
         {{"member", {"CN=ann, DC=X"}}},
         "# member: 1" + leftOut + head +
             "delete: member\nmember: cn=Bob,dc=x\nmember: cn=Cy,dc=x\n-\n\n"},
        {"a member removed comes back as stored; an absent one is not added",
         {{ModOperation::Delete, "member", {"cn=ann,dc=x", "cn=Zed,dc=x"}, false}},
         {{"member", {"CN=Ann,DC=x"}}},
         "# member: 1" + leftOut + head + "add: member\nmember: CN=Ann,DC=x\n-\n\n"},
        {"text compares without case: nothing changed",
         {{ModOperation::Add, "description", {"HELLO"}, false}},
         {{"description", {"hello"}}},
         "# description: 1" + leftOut + "\n"},
    };
    std::string expected;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        library.searchAnswers = {SearchAnswer{0, {LdapEntry{"cn=a,dc=x", row.before}}}};
        EXPECT_EQ(sendAndAwait([&](LdapConnection& c, int& id) {
                      return c.sendModifications(ModificationRequest::Modify, "cn=a,dc=x", row.mods,
                                                 {permissiveModifyControl()}, id);
                  }),
                  0);
        expected += "# Undo of the modify of cn=a,dc=x\n" + row.record;
        EXPECT_EQ(journal(), expected);
        EXPECT_EQ(library.callsOf(fake::Call::Kind::Search).back().search.attributes,
                  std::vector<std::string>{row.mods.front().attribute});
    }
}

// The schema is read only for what the writes need, each once: a name given by OID, a
// permissive modify's names (how their values compare), and at the first delete what a
// reanimation cannot write back.
TEST_F(UndoJournalTest, OnlyTheDefinitionsTheWritesNeedAreRead) {
    journalWith(undoAttributes("cn=schema"));
    const auto entry = [](std::vector<LdapAttribute> attributes) {
        return SearchAnswer{0, {LdapEntry{"cn=a,dc=x", std::move(attributes)}}};
    };
    const auto old = entry({{"description", {"old"}}});
    const auto held = entry({{"objectGUID", {"\x01"}}, {"msDS-X", {"1"}}});
    const auto oid = entry({{"lDAPDisplayName", {"description"}}, {"attributeID", {"2.5.4.13"}}});
    const auto computed = entry({{"lDAPDisplayName", {"msDS-X"}}});
    const auto replace = [](const char* name) {
        return Modification{ModOperation::Replace, name, {"n"}, false};
    };
    const std::string byOid = "(&(objectClass=attributeSchema)(|(attributeID=2.5.4.13)))";
    const std::string byName = "(&(objectClass=attributeSchema)(|(lDAPDisplayName=description)))";
    const std::string byFlags =
        "(&(objectClass=attributeSchema)(|(systemOnly=TRUE)"
        "(systemFlags:1.2.840.113556.1.4.803:=4)))";
    const struct {
        std::vector<Modification> mods;  // none: a delete
        std::deque<SearchAnswer> answers;
        std::string schemaFilter;
        std::string inJournal;
        bool permissive = false;
    } rows[] = {
        {{replace("description"), replace("telephoneNumber")}, {old}, "", "add: description"},
        {{replace("Description")}, {entry({}), old}, byName, "add: Description", true},
        {{replace("2.5.4.13")}, {oid, old}, byOid, "2.5.4.13: old"},
        {{replace("2.5.4.13")}, {old}, "", "2.5.4.13: old"},
        {{}, {held, computed, entry({})}, byFlags, "objectGUID, msDS-X"},
        {{}, {held, entry({})}, "", "objectGUID, msDS-X"},
    };
    for (const auto& row : rows) {
        const std::size_t from = library.count(fake::Call::Kind::Search);
        const std::size_t journalBefore = journal().size();
        library.searchAnswers = row.answers;
        const ServerControls controls{row.permissive ? permissiveModifyControl() : ServerControl{}};
        EXPECT_EQ(row.mods.empty() ? remove("cn=a,dc=x")
                  : row.permissive ? modify(row.mods, "cn=a,dc=x", controls)
                                   : modify(row.mods),
                  0);
        std::string filters;
        const std::vector<fake::Call> searches = library.callsOf(fake::Call::Kind::Search);
        for (std::size_t i = from; i < searches.size(); ++i) {
            filters += searches[i].search.base == "cn=schema" ? searches[i].search.filter : "";
        }
        EXPECT_EQ(filters, row.schemaFilter) << row.inJournal;
        EXPECT_NE(journal().find(row.inJournal, journalBefore), std::string::npos) << journal();
    }
}

TEST_F(UndoJournalTest, APasswordIsNamedNeverRead) {
    EXPECT_EQ(modify({{ModOperation::Replace, "unicodePwd", {"x"}, true}}), 0);
    EXPECT_EQ(journal(),
              "# Undo of the modify of cn=a,dc=x\n"
              "# unicodePwd: a password cannot be read back, so its change cannot be undone.\n\n");
    EXPECT_EQ(library.count(fake::Call::Kind::Search), 0u);
}

// A write is sent only once its complete record is on disk; otherwise its target fails
// with the reason and the read's own code, and the journal is left as it was.
TEST_F(UndoJournalTest, AWriteWithoutACompleteRecordIsNotSent) {
    struct Row {
        const char* what;
        std::deque<SearchAnswer> before;
        int code;
        std::string reason;
    };
    const std::vector<Row> rows{
        {"the object cannot be read", {SearchAnswer{50, {}}}, 50, "(Insufficient access)"},
        {"no entry is answered", {SearchAnswer{0, {}}}, kLdapNoResultsReturned, "no entry"},
        {"an answer under a name that cannot be matched",
         {SearchAnswer{0, {LdapEntry{"cn=a,dc=x", {{"descr", {"old"}}}}}}},
         kLdapLocalError,
         "descr"},
        {"values that cannot be read to the end",
         {SearchAnswer{0, {LdapEntry{"cn=a,dc=x", {{"description;range=0-0", {"a"}}}}}},
          SearchAnswer{1, {}}},
         1,
         "description after the first 1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        library.searchAnswers = row.before;
        captured.clear();
        EXPECT_EQ(modify({{ModOperation::Replace, "description", {"new"}, false}}), row.code);
        EXPECT_NE(captured.out().find("ERROR: No undo record for cn=a,dc=x: "), std::string::npos);
        EXPECT_NE(captured.out().find(row.reason), std::string::npos) << captured.out();
        EXPECT_NE(captured.out().find("; the modify was not sent.\n"), std::string::npos);
    }
    EXPECT_TRUE(library.requests().empty());
    EXPECT_EQ(journal(), "");
}

TEST_F(UndoJournalTest, AFailedWriteLeavesNoRecord) {
    library.searchAnswers.push_back(
        SearchAnswer{0, {LdapEntry{"cn=a,dc=x", {{"description", {"old"}}}}}});
    library.answerRequests({result(50)});
    EXPECT_EQ(modify({{ModOperation::Replace, "description", {"new"}, false}}), 50);
    EXPECT_EQ(journal(),
              "# cn=a,dc=x: the modify failed (Insufficient access), so there is nothing to "
              "undo.\n\n");
}

// With several writes outstanding their reads go first, their records are synced as one
// batch before any of them is sent, and a refused write's record is withdrawn in place,
// later records unmoved.
TEST_F(UndoJournalTest, AWindowOfWritesIsJournalledInOneBatch) {
    for (const char* old : {"old1", "old2", "old3"}) {
        library.searchAnswers.push_back(
            SearchAnswer{0, {LdapEntry{"cn=a,dc=x", {{"description", {old}}}}}});
    }
    library.answerRequests({result(0), result(20), result(0)});
    const std::vector<Modification> mods{{ModOperation::Replace, "description", {"new"}, false}};
    int ids[3] = {};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(
            connection_->sendModifications(ModificationRequest::Modify,
                                           "cn=a" + std::to_string(i) + ",dc=x", mods, {}, ids[i]),
            0);
    }
    EXPECT_TRUE(library.requests().empty());  // nothing is sent before its record is on disk
    std::string diagnostic;
    bool sent = false;
    EXPECT_EQ(connection_->waitForResult(ids[0], 120, diagnostic, sent), 0);
    ASSERT_EQ(spy_->journalAtSend.size(), 3u);
    const std::string batch = journal();
    EXPECT_EQ(spy_->journalAtSend.front(), batch);
    EXPECT_NE(batch.find("description: old3"), std::string::npos);
    EXPECT_EQ(connection_->waitForResult(ids[1], 120, diagnostic, sent), 20);
    EXPECT_EQ(connection_->waitForResult(ids[2], 120, diagnostic, sent), 0);
    const std::string text = journal();
    EXPECT_EQ(text.find("\ndn: cn=a2,dc=x\n"), batch.find("\ndn: cn=a2,dc=x\n"));  // unmoved
    EXPECT_NE(text.find("#n: cn=a1,dc=x\n#hangetype: modify\n"), std::string::npos) << text;
    EXPECT_NE(text.find("# cn=a1,dc=x: the modify failed (Type or value exists)"),
              std::string::npos);
    EXPECT_EQ(text.find("\ndn: cn=a1,dc=x\n"), std::string::npos);
}

// A time-out or a lost connection leaves the write's fate unknown: the record stays.
TEST_F(UndoJournalTest, AnUnknownOutcomeKeepsTheRecord) {
    for (const fake::RequestAnswer& answer : {result(kLdapServerDown), fake::noAnswerInTime()}) {
        captured.clear();
        library.answerRequests({answer});
        const int code = modify({{ModOperation::Add, "drink", {"a"}, false}});
        EXPECT_TRUE(outcomeUnknown(code)) << code;
        EXPECT_NE(captured.out().find("WARN: cn=a,dc=x: the modify may or may not have been "
                                      "applied ("),
                  std::string::npos)
            << captured.out();
    }
    const std::string record =
        "# Undo of the modify of cn=a,dc=x\ndn: cn=a,dc=x\nchangetype: modify\n"
        "delete: drink\ndrink: a\n-\n\n";
    EXPECT_EQ(journal(), record + record);
    // A delete keeps the objectGUIDs to reanimate by hand.
    library.searchAnswers.push_back(
        SearchAnswer{0, {LdapEntry{"cn=d,dc=x", {{"objectGUID", {std::string("\x11", 1)}}}}}});
    library.answerRequests({result(kLdapServerDown)});
    EXPECT_EQ(
        sendAndAwait([](LdapConnection& c, int& id) { return c.sendDelete("cn=d,dc=x", {}, id); }),
        kLdapServerDown);
    EXPECT_NE(journal().find("cn=d,dc=x (objectGUID 11) is deleted"), std::string::npos);
}

// Once a delete was sent its reanimation record can no longer hold it back: a journal
// that cannot take it names the target.
TEST_F(UndoJournalTest, ARecordMissingAfterTheWriteIsNamed) {
    library.searchAnswers.push_back(
        SearchAnswer{0,
                     {LdapEntry{"cn=d,dc=x",
                                {{"objectGUID", {std::string("\x11", 1)}},
                                 {"description", {std::string(1000, 'x')}}}}}});
    library.searchAnswers.push_back(
        SearchAnswer{0, {LdapEntry{"CN=d\\0ADEL:11,CN=Deleted Objects,dc=x", {}}}});
    EXPECT_TRUE(withFileSizeLimit(600, [&] {
        const int code = sendAndAwait(
            [](LdapConnection& c, int& id) { return c.sendDelete("cn=d,dc=x", {}, id); });
        return code == 0 && journal().find("(objectGUID 11)") != std::string::npos &&
               journal().find("isDeleted") == std::string::npos &&
               captured.out().find(
                   "WARN: cn=d,dc=x: the undo journal could not be written "
                   "after the delete (File too large)") != std::string::npos;
    }));
}

// Moves and renames go back to the DN as the directory stores it, whatever was typed.
TEST_F(UndoJournalTest, AddMoveRenameAndUndeleteAreReversed) {
    struct Row {
        const char* what;
        std::function<int(LdapConnection&, int&)> send;
        std::string stored;  // the DN a read answers with; empty: no read
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
         "", "# Undo of the add of cn=n,dc=x\ndn: cn=n,dc=x\nchangetype: delete\n\n"},
        {"move",
         [](LdapConnection& c, int& id) {
             return c.sendRename("cn=a,ou=old,dc=x", "cn=a", "ou=new,dc=x", true, {}, id);
         },
         "CN=A,OU=Old,DC=x",
         "# Undo of the move of CN=A,OU=Old,DC=x\ndn: cn=a,ou=new,dc=x\nchangetype: moddn\n"
         "newrdn: CN=A\ndeleteoldrdn: 1\nnewsuperior: OU=Old,DC=x\n\n"},
        {"rename",
         [](LdapConnection& c, int& id) {
             return c.sendRename("cn=ann,ou=old,dc=x", "cn=Annie", "ou=old,dc=x", true, {}, id);
         },
         "CN=Ann,OU=Old,DC=x",
         "# Undo of the rename of CN=Ann,OU=Old,DC=x\ndn: cn=Annie,ou=old,dc=x\n"
         "changetype: moddn\nnewrdn: CN=Ann\ndeleteoldrdn: 1\n\n"},
        {"rename where it stands",
         [](LdapConnection& c, int& id) { return c.sendRename("cn=a", "cn=b", "", true, {}, id); },
         "cn=a",
         "# Undo of the rename of cn=a\ndn: cn=b\nchangetype: moddn\nnewrdn: cn=a\n"
         "deleteoldrdn: 1\n\n"},
        {"undelete",
         [&](LdapConnection& c, int& id) {
             return c.sendModifications(ModificationRequest::Modify,
                                        "CN=a\\0ADEL:1,CN=Deleted Objects,dc=x", undelete,
                                        {{kShowDeletedOid, "", true}}, id);
         },
         "",
         "# Undo of the undelete of CN=a\\0ADEL:1,CN=Deleted Objects,dc=x\n"
         "dn: cn=a,ou=b,dc=x\nchangetype: delete\n\n"},
    };
    std::string expected;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (!row.stored.empty()) {
            library.searchAnswers.push_back(SearchAnswer{0, {LdapEntry{row.stored, {}}}});
        }
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
                                 {"userPassword", {"Secret-1"}},
                                 {"ms-Mcs-AdmPwd", {"Secret-2"}},
                                 {"sAMAccountName", {"c"}}}}}});
    library.searchAnswers.push_back(SearchAnswer{
        0, {LdapEntry{"CN=c\\0ADEL:3344,CN=Deleted Objects,dc=x", {{"sAMAccountName", {"c"}}}}}});
    library.searchAnswers.push_back(
        SearchAnswer{0, {LdapEntry{"OU=p\\0ADEL:1122,CN=Deleted Objects,dc=x", {}}}});
    EXPECT_EQ(sendAndAwait([](LdapConnection& c, int& id) {
                  return c.sendDelete("ou=p,dc=x", {{kTreeDeleteOid, "", true}}, id);
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
        "# Not restored, secrets are never written to a journal: userPassword, ms-Mcs-AdmPwd\n"
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
    EXPECT_EQ(text.find("Secret-"), std::string::npos);
    const std::vector<fake::Call> searches = library.callsOf(fake::Call::Kind::Search);
    ASSERT_EQ(searches.size(), 3u);
    EXPECT_EQ(searches[1].search.base, "<GUID=3344>");
    EXPECT_EQ(searches[2].search.base, "<GUID=1122>");
}

// A tree of three pages: each page's objects are named in the journal as the page arrives,
// and the reanimations come deepest first across pages (a sub-OU on the last page after
// every leaf, the root last), so the reversed journal brings parents back first.
TEST_F(UndoJournalTest, ATreeIsJournalledPageByPage) {
    const auto guid = [](std::size_t i) { return std::string{char(i >> 8), char(i & 0xff)}; };
    std::vector<LdapEntry> tree{{"ou=p,dc=x", {{"objectGUID", {guid(0)}}}}};
    for (std::size_t i = 1; i < 2 * kCompleteReadPageSize + 9; ++i) {
        tree.push_back(
            {"cn=c" + std::to_string(i) + ",ou=s,ou=p,dc=x", {{"objectGUID", {guid(i)}}}});
    }
    tree.push_back({"ou=s,ou=p,dc=x", {{"objectGUID", {guid(tree.size())}}}});
    library.searchAnswers.push_back(SearchAnswer{0, tree});
    for (std::size_t i = 0; i < tree.size(); ++i) {
        library.searchAnswers.push_back(
            SearchAnswer{0, {LdapEntry{"CN=t" + std::to_string(i), {}}}});
    }
    std::vector<std::size_t> sizes;
    library.afterPage = [&] { sizes.push_back(journal().size()); };
    EXPECT_EQ(sendAndAwait([](LdapConnection& c, int& id) {
                  return c.sendDelete("ou=p,dc=x", {{kTreeDeleteOid, "", true}}, id);
              }),
              0);
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_TRUE(sizes[0] > 0 && sizes[0] < sizes[1] && sizes[1] < sizes[2]);
    EXPECT_EQ(spy_->journalAtSend.front().size(), sizes[2]);
    const std::string text = journal();
    const auto reanimated = [&](const std::string& dn) {
        return text.find("distinguishedName: " + dn + "\n");
    };
    EXPECT_LT(reanimated("cn=c1008,ou=s,ou=p,dc=x"), reanimated("ou=s,ou=p,dc=x"));
    EXPECT_LT(reanimated("ou=s,ou=p,dc=x"), reanimated("ou=p,dc=x"));
    EXPECT_NE(reanimated("ou=p,dc=x"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\0'), 0);
}

// An object of the second page without an objectGUID: the pages journalled before it are
// taken back and the delete is not sent.
TEST_F(UndoJournalTest, ATreeWithAnObjectThatCannotBeFoundAgainIsNotDeleted) {
    std::vector<LdapEntry> tree(kCompleteReadPageSize + 1,
                                LdapEntry{"cn=c,ou=p,dc=x", {{"objectGUID", {"g"}}}});
    tree.back().attributes.clear();
    library.searchAnswers.push_back(SearchAnswer{0, tree});
    EXPECT_EQ(sendAndAwait([](LdapConnection& c, int& id) {
                  return c.sendDelete("ou=p,dc=x", {{kTreeDeleteOid, "", true}}, id);
              }),
              kLdapLocalError);
    EXPECT_TRUE(spy_->journalAtSend.empty());
    EXPECT_EQ(journal(), "");
    EXPECT_NE(captured.out().find("has no readable objectGUID"), std::string::npos);
}

// Which values name an object of the tree, as the directory compares names: those become
// a links record applied once every object is back; anything else stays in the object's
// own reanimation, and a membership outside the tree is added back on its own.
TEST_F(UndoJournalTest, ALinkNamesTheTreeHoweverSpelled) {
    struct Row {
        const char* value;
        bool inTree;
    };
    const std::vector<Row> rows{
        {"CN=U,OU=P,DC=X", true},   {"cn=u, ou=p, dc=x", true}, {"ou=p,dc=x", true},
        {"cn=u,ou=pp,dc=x", false}, {"cn=u,dc=x", false},       {"p,dc=x", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        library.searchAnswers.push_back(SearchAnswer{
            0, {LdapEntry{"ou=p,dc=x", {{"objectGUID", {"1"}}, {"seeAlso", {row.value}}}}}});
        library.searchAnswers.push_back(SearchAnswer{0, {LdapEntry{"OU=p\\0ADEL:31,dc=x", {}}}});
        ASSERT_EQ(sendAndAwait([](LdapConnection& c, int& id) {
                      return c.sendDelete("OU=P,DC=X", {{kTreeDeleteOid, "", true}}, id);
                  }),
                  0);
        const std::string text = journal();
        const std::string line = std::string("seeAlso: ") + row.value + "\n";
        const auto reanimation = text.find("delete: isDeleted");
        EXPECT_EQ(text.find(line) < reanimation, row.inTree) << text;
        EXPECT_NE(text.find(line), std::string::npos) << text;
        std::string why;
        ASSERT_TRUE(journal_->truncateTo(0, why));
    }
}

// A tree delete cut short at the server's limit (11) deleted part of the tree: what is
// gone since the read keeps its reanimation record; a round that deleted nothing is
// withdrawn as any failed write.
TEST_F(UndoJournalTest, ATreeDeleteCutShortKeepsTheRecordsOfWhatItDeleted) {
    const LdapEntry parent{"ou=p,dc=x", {{"objectGUID", {std::string("\x01", 1)}}}};
    const LdapEntry child{"cn=c,ou=p,dc=x", {{"objectGUID", {std::string("\x02", 1)}}}};
    const auto deleteTree = [](LdapConnection& c, int& id) {
        return c.sendDelete("ou=p,dc=x", {{kTreeDeleteOid, "", true}}, id);
    };
    library.searchAnswers.push_back(SearchAnswer{0, {parent, child}});
    library.searchAnswers.push_back(SearchAnswer{0, {LdapEntry{"OU=P,DC=X", {}}}});
    library.searchAnswers.push_back(
        SearchAnswer{0, {LdapEntry{"CN=c\\0ADEL:02,CN=Deleted Objects,dc=x", {}}}});
    library.requestAnswers.push_back(fake::result(kLdapAdminLimitExceeded));
    EXPECT_EQ(sendAndAwait(deleteTree), kLdapAdminLimitExceeded);
    const std::string partial = journal();
    EXPECT_NE(partial.find("# Undo of the delete of cn=c,ou=p,dc=x\n"), std::string::npos)
        << partial;
    EXPECT_EQ(partial.find("# Undo of the delete of ou=p,dc=x\n"), std::string::npos);

    library.searchAnswers.push_back(SearchAnswer{0, {parent}});
    library.searchAnswers.push_back(SearchAnswer{0, {parent}});
    library.requestAnswers.push_back(fake::result(kLdapAdminLimitExceeded));
    EXPECT_EQ(sendAndAwait(deleteTree), kLdapAdminLimitExceeded);
    EXPECT_EQ(journal().substr(0, partial.size()), partial);
    EXPECT_NE(journal().find("the delete failed (Administrative limit exceeded)"),
              std::string::npos)
        << journal();
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
                  return c.sendDelete("ou=p,dc=x", {{kTreeDeleteOid, "", true}}, id);
              }),
              0);
    const std::string text = journal();
    const auto links = text.find(
        "dn: cn=g,ou=p,dc=x\nchangetype: modify\nreplace: member\nmember: CN=U,OU=P,DC=X\n"
        "member: cn=outside,dc=x\n-\n");
    const auto membership = text.find(
        "dn: cn=staff,dc=x\ncontrol: 1.2.840.113556.1.4.1413 false\nchangetype: modify\n"
        "add: member\nmember: cn=u,ou=p,dc=x\n-\n");
    const auto firstReanimation = text.find("delete: isDeleted");
    EXPECT_NE(links, std::string::npos) << text;
    EXPECT_NE(membership, std::string::npos) << text;
    EXPECT_LT(links, firstReanimation);
    EXPECT_LT(membership, firstReanimation);
    // The group's own reanimation does not carry the members it could not yet take, and
    // the membership in the deleted group is left to that group's links record.
    EXPECT_EQ(text.find("member: cn=outside,dc=x", firstReanimation), std::string::npos);
    EXPECT_EQ(text.find("dn: cn=g,ou=p,dc=x\nchangetype: modify\nadd: member"), std::string::npos);
    // The revert sends the membership with the control that makes a link already back a
    // success (a Recycle Bin's reanimation restores links itself).
    FakeLdapLibrary directory;
    RunSettings settings;
    settings.mode = RunMode::Revert;
    LdapSession session = directory.session();
    ResultLines results;
    RunContext run{captured.reporter, settings, session, "dc1", results};
    runRevert(run, readLdifRecords(text, false).records);
    const std::vector<std::string> sent = directory.requests();
    EXPECT_NE(
        std::find(
            sent.begin(), sent.end(),
            "modify [cn=staff,dc=x] controls=[1.2.840.113556.1.4.1413 noncritical value=] mods=0x0 "
            "member [cn=u,ou=p,dc=x]"),
        sent.end())
        << ::testing::PrintToString(sent);
}

TEST_F(UndoJournalTest, APasswordStepIsNamedAsNotUndoable) {
    fake::FakePasswordSetter real;
    JournalingPasswordSetter passwords(real, *journal_);
    EXPECT_EQ(passwords.setPassword(captured.reporter, "dc1", "cn=a,dc=x", "Secret-1"), 0);
    EXPECT_EQ(real.requests.size(), 1u);
    EXPECT_EQ(journal().find("Secret-1"), std::string::npos);
    EXPECT_NE(journal().find("cn=a,dc=x: its password is set by this run"), std::string::npos);
}

// "failed 85, done 0": the outcome and code of each -json line.
std::string outcomesOf(const std::string& lines) {
    std::string outcomes;
    const std::string key = "\"outcome\":\"";
    for (std::size_t at = lines.find(key); at != std::string::npos; at = lines.find(key, at)) {
        at += key.size();
        const std::size_t code = lines.find("\"code\":", at) + 7;
        outcomes += (outcomes.empty() ? "" : ", ") + lines.substr(at, lines.find('"', at) - at) +
                    " " + lines.substr(code, lines.find(',', code) - code);
    }
    return outcomes;
}

// Two modifies in one window through the journal, the first meeting a fault: -json, the
// journal and the lost-connection warning tell the same outcome. A write that never left
// changed nothing; one sent without an answer may or may not have been applied.
TEST_F(UndoJournalTest, OneOutcomeForJsonTheJournalAndTheWarning) {
    using fake::Arrival;
    struct Row {
        const char* what;
        Arrival readA;
        Arrival readB;
        fake::RequestAnswer writeA;
        bool syncFails;
        const char* outcomes;  // a's, then b's
        const char* sent;      // the targets whose write left
        const char* kept;      // the targets whose undo record the journal keeps
        bool lostWarning;
    };
    const Arrival now = Arrival::AtOnce;
    const std::vector<Row> rows{
        {"a read that times out", Arrival::Never, now, result(0), false, "failed 85, done 0", "b",
         "b", false},
        {"lost while reading", Arrival::ConnectionDrops, now, result(0), false,
         "failed 81, failed 81", "", "", false},
        {"a read not in yet waits for a later batch", now, Arrival::Late, result(0), false,
         "done 0, done 0", "ab", "ab", false},
        {"a failed sync", now, now, result(0), true, "failed 82, failed 82", "", "", false},
        {"a local error after the send", now, now, result(kLdapLocalError), false,
         "unknown 82, done 0", "ab", "ab", false},
        {"no answer in time", now, now, fake::noAnswerInTime(), false, "unknown 85, done 0", "ab",
         "ab", false},
        {"lost after both sends", now, now, fake::connectionDrops(), false,
         "unknown 81, unknown 81", "ab", "ab", true},
        {"refused by the server", now, now, result(50), false, "failed 50, done 0", "ab", "b",
         false},
    };
    const std::vector<Modification> mods{{ModOperation::Replace, "description", {"new"}, false}};
    RunSettings settings;
    settings.window = 2;
    settings.continueOnError = true;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakeLdapLibrary directory;
        const auto read = [](const char* dn, Arrival arrival) {
            return SearchAnswer{0, {LdapEntry{dn, {{"description", {"old"}}}}}, arrival};
        };
        directory.searchAnswers = {read("cn=a,dc=x", row.readA), read("cn=b,dc=x", row.readB)};
        directory.answerRequests({row.writeA, result(0)});
        const std::string path = directory_ + "/outcome.ldif";
        std::string text;
        std::string sent;
        {
            bool failSync = row.syncFails;
            std::string why;
            const auto journal = UndoJournal::create(path, why, [&failSync](int fd) {
                errno = EIO;
                return std::exchange(failSync, false) ? -1 : ::fsync(fd);
            });
            captured.clear();
            captured.reporter.json = true;
            LdapSession session{
                journalingConnection(directory.session().handle, *journal, captured.reporter, {}),
                "dc1"};
            ResultLines results;
            RunContext context{captured.reporter, settings, session, "dc1", results};
            processTargets(context, {"cn=a,dc=x", "cn=b,dc=x"}, LoopVariant{},
                           [&](const std::string& dn) {
                               RequestOutcome outcome;
                               outcome.sendCode = session.handle->sendModifications(
                                   ModificationRequest::Modify, dn, mods, {}, outcome.messageId);
                               return outcome;
                           });
            text = fileText(path);
        }
        std::remove(path.c_str());
        for (const fake::Call& call : directory.callsOf(fake::Call::Kind::Modify)) {
            sent += call.dn.substr(3, 1);
        }
        std::string kept;
        for (const std::string target : {"a", "b"}) {
            kept += text.find("\ndn: cn=" + target + ",dc=x\n") != std::string::npos ? target : "";
        }
        EXPECT_EQ(outcomesOf(captured.out()), row.outcomes);
        EXPECT_EQ(sent, row.sent);
        EXPECT_EQ(kept, row.kept) << text;
        EXPECT_EQ(captured.err().find("WARN: The connection was lost with 2 requests") !=
                      std::string::npos,
                  row.lostWarning)
            << captured.err();
    }
}

}  // namespace
}  // namespace kestrel
