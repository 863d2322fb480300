#include "ops/dry_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_ldap.h"

namespace kestrel {
namespace {

using fake::Call;
using fake::CapturedConsole;
using fake::FakeLdapLibrary;

class DryRunTest : public ::testing::Test {
  protected:
    DryRunTest() : preview(previewConnection(library.session().handle, captured.reporter)) {}

    // The calls that reached the directory (the fake), other than the handle's own.
    std::size_t writesSent() const {
        return library.count(Call::Kind::Delete) + library.count(Call::Kind::Rename) +
               library.count(Call::Kind::Modify) + library.count(Call::Kind::Add) +
               library.count(Call::Kind::PasswordModify);
    }

    FakeLdapLibrary library;
    CapturedConsole captured;
    std::unique_ptr<LdapConnection> preview;
};

// Each write becomes the LDIF record that would be sent, and none reaches the directory;
// each is answered as a success under its own message number.
TEST_F(DryRunTest, WritesBecomeRecordsAndNoneIsSent) {
    struct Row {
        const char* what;
        std::function<int(LdapConnection&, int&)> send;
        std::string record;
    };
    const std::vector<Modification> mods{
        {ModOperation::Delete, "scriptpath", {}, false},
        {ModOperation::Replace, "description", {"Hello"}, false},
        {ModOperation::Add, "drink", {"a", "b"}, false},
        {ModOperation::Replace, "jpegphoto", {std::string("\x00\xff\x10", 3)}, true},
    };
    const std::vector<Row> rows{
        {"delete", [](LdapConnection& c, int& id) { return c.sendDelete("cn=a,dc=x", {}, id); },
         "dn: cn=a,dc=x\nchangetype: delete\n\n"},
        {"tree delete",
         [](LdapConnection& c, int& id) {
             return c.sendDelete("ou=a,dc=x", {{"1.2.840.113556.1.4.805", "", true}}, id);
         },
         "dn: ou=a,dc=x\ncontrol: 1.2.840.113556.1.4.805 true\nchangetype: delete\n\n"},
        {"move",
         [](LdapConnection& c, int& id) {
             return c.sendRename("cn=a,dc=x", "cn=a", "ou=b,dc=x", true, {}, id);
         },
         "dn: cn=a,dc=x\nchangetype: moddn\nnewrdn: cn=a\ndeleteoldrdn: 1\n"
         "newsuperior: ou=b,dc=x\n\n"},
        {"rename in place",
         [](LdapConnection& c, int& id) {
             return c.sendRename("cn=a,dc=x", "cn=b", "", true, {}, id);
         },
         "dn: cn=a,dc=x\nchangetype: moddn\nnewrdn: cn=b\ndeleteoldrdn: 1\n\n"},
        {"modify",
         [&](LdapConnection& c, int& id) {
             return c.sendModifications(ModificationRequest::Modify, "cn=a,dc=x", mods, {}, id);
         },
         "dn: cn=a,dc=x\nchangetype: modify\ndelete: scriptpath\n-\nreplace: description\n"
         "description: Hello\n-\nadd: drink\ndrink: a\ndrink: b\n-\nreplace: jpegphoto\n"
         "jpegphoto:: AP8Q\n-\n\n"},
        {"add",
         [](LdapConnection& c, int& id) {
             const std::vector<Modification> attributes{
                 {ModOperation::Add, "objectclass", {"user"}, false}};
             return c.sendModifications(ModificationRequest::Add, "cn=n,dc=x", attributes, {}, id);
         },
         "dn: cn=n,dc=x\nchangetype: add\nobjectclass: user\n\n"},
        {"the RootDSE",
         [](LdapConnection& c, int& id) {
             const std::vector<Modification> attributes{
                 {ModOperation::Replace, "schemaupdatenow", {"1"}, false}};
             return c.sendModifications(ModificationRequest::Modify, "", attributes, {}, id);
         },
         "dn:\nchangetype: modify\nreplace: schemaupdatenow\nschemaupdatenow: 1\n-\n\n"},
    };
    int lastId = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CapturedConsole console;
        std::unique_ptr<LdapConnection> connection =
            previewConnection(library.session().handle, console.reporter);
        int id = 0;
        EXPECT_EQ(row.send(*connection, id), 0);
        EXPECT_GT(id, 0);
        std::string diagnostic = "stale";
        bool sent = false;
        EXPECT_EQ(connection->waitForResult(id, 120, diagnostic, sent), 0);
        EXPECT_EQ(diagnostic, "");
        EXPECT_EQ(console.out(), row.record);
        EXPECT_EQ(console.err(), "");
        lastId = id;
    }
    EXPECT_EQ(lastId, 1);  // each preview numbers its own requests
    EXPECT_EQ(writesSent(), 0u);
}

TEST_F(DryRunTest, APasswordValueIsNeverWritten) {
    const std::string secret = "Secret-Pw-9";
    const std::vector<Modification> mods{
        {ModOperation::Replace, "unicodepwd", {"\"\0S\0", "x"}, true},
        {ModOperation::Delete, "userPassword", {secret}, false},
        {ModOperation::Add, "#setpwd#", {secret}, false},
        {ModOperation::Replace, "description", {"kept"}, false},
    };
    int id = 0;
    EXPECT_EQ(preview->sendModifications(ModificationRequest::Modify, "cn=a,dc=x", mods, {}, id),
              0);
    const std::string& out = captured.out();
    EXPECT_EQ(out.find(secret), std::string::npos);
    EXPECT_EQ(out.find("unicodepwd:"), std::string::npos);
    EXPECT_NE(out.find("# A password would be set here (unicodepwd); its value is not shown.\n"),
              std::string::npos);
    EXPECT_NE(out.find("# A password would be set here (userPassword)"), std::string::npos);
    EXPECT_NE(out.find("replace: description\ndescription: kept\n-\n"), std::string::npos);

    PreviewPasswordSetter passwords;
    EXPECT_EQ(passwords.setPassword(captured.reporter, "dc1", "cn=a,dc=x", secret), 0);
    EXPECT_EQ(captured.out().find(secret), std::string::npos);
    EXPECT_EQ(writesSent(), 0u);
}

// What the run reads goes to the directory: a dry run proves the bind and the targets.
TEST_F(DryRunTest, ReadsGoToTheDirectory) {
    SearchRequest request;
    request.base = "cn=a,dc=x";
    std::vector<LdapEntry> entries;
    EXPECT_EQ(preview->search(request, entries), 0);
    EXPECT_EQ(preview->negotiateBind(), 0);
    EXPECT_EQ(library.count(Call::Kind::Search), 1u);
    EXPECT_EQ(library.count(Call::Kind::NegotiateBind), 1u);
}

TEST_F(DryRunTest, ARecordThatLdifCannotCarryIsRefused) {
    const std::vector<Modification> mods{{ModOperation::Replace, "bad name", {"x"}, false}};
    int id = 0;
    EXPECT_EQ(preview->sendModifications(ModificationRequest::Modify, "cn=a,dc=x", mods, {}, id),
              kLdapParamError);
    EXPECT_EQ(captured.out(), "");
}

// A record starts on a line of its own, after a target's unfinished progress line.
TEST_F(DryRunTest, ARecordEndsTheProgressLineFirst) {
    captured.reporter.info("   DN: cn=a,dc=x...");
    int id = 0;
    EXPECT_EQ(preview->sendDelete("cn=a,dc=x", {}, id), 0);
    EXPECT_EQ(captured.out(), "   DN: cn=a,dc=x...\ndn: cn=a,dc=x\nchangetype: delete\n\n");
}

}  // namespace
}  // namespace kestrel
