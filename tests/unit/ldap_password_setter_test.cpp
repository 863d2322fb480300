#include "password/ldap_password_setter.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <string>
#include <vector>

#include "fake_ldap.h"
#include "util/exit_status.h"

namespace kestrel {
namespace {

using fake::Call;
using fake::CapturedConsole;
using fake::FakeLdapLibrary;
using fake::SearchAnswer;
using Lines = std::vector<std::string>;

constexpr int kTimeLimit = 120;
const std::string kServer = "dc1.homelab.net";
const std::string kUserDn = "CN=Kim,CN=Users,DC=homelab,DC=net";
const std::string kBadPathname = " - ERROR: (ADsGetObject) (0x80005000) E_ADS_BAD_PATHNAME\n";

std::string userSearch(const std::string& dn) {
    return "search base=[" + dn +
           "] scope=0 filter=(objectClass=*) attrs=[objectClass] size=0 controls=[]";
}

// Everything before the change, in order: sealing and no referrals are asked for before
// the bind, the RootDSE and the user are read after it.
const Lines kReachUser = {"init host=dc1.homelab.net port=389",
                          "time limit 120",
                          "option 0x11=3",
                          "option 0x8=0",
                          "option 0x96=1",
                          "bind negotiate",
                          "search base=[] scope=0 filter=(objectClass=*) "
                          "attrs=[supportedCapabilities] size=0 controls=[]",
                          userSearch(kUserDn)};

LdapEntry rootDse(bool activeDirectory) {
    return LdapEntry{"",
                     {{"supportedCapabilities",
                       activeDirectory ? std::vector<std::string>{"1.2.840.113556.1.4.1670",
                                                                  "1.2.840.113556.1.4.800"}
                                       : std::vector<std::string>{"1.3.6.1.4.1.4203.1.11.1"}}}};
}

// The two searches of reaching a user: the RootDSE, then the object with these classes.
void answerSearches(FakeLdapLibrary& ldap, bool activeDirectory, std::vector<std::string> classes,
                    const std::string& dn = kUserDn) {
    ldap.searchAnswers.push_back(SearchAnswer{0, {rootDse(activeDirectory)}});
    ldap.searchAnswers.push_back(SearchAnswer{0, {LdapEntry{dn, {{"objectClass", classes}}}}});
}

Lines with(Lines lines, const Lines& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

class LdapPasswordSetterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = std::setlocale(LC_CTYPE, nullptr);
        ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    }
    void TearDown() override { std::setlocale(LC_CTYPE, saved_.c_str()); }

    std::int32_t set(const std::string& password = "Secret-1", const std::string& dn = kUserDn,
                     const std::string& server = kServer) {
        return setter.setPassword(captured.reporter, server, dn, password);
    }

    FakeLdapLibrary ldap;
    LdapPasswordSetter setter{ldap, kTimeLimit};
    CapturedConsole captured;

  private:
    std::string saved_;
};

TEST_F(LdapPasswordSetterTest, OnActiveDirectoryASealedSessionReplacesUnicodePwdQuoted) {
    answerSearches(ldap, true, {"top", "person", "organizationalPerson", "user"});
    // A password that begins with a quote is still quoted: it is the password as typed.
    EXPECT_EQ(set("\"P\xc3\xa4\xf0\x9f\x98\x80"), 0);
    EXPECT_EQ(ldap.calls(), with(kReachUser, {"modify [" + kUserDn +
                                                  "] controls=[] mods=0x82 unicodePwd "
                                                  "[22002200"
                                                  "5000"
                                                  "e400"
                                                  "3dd8"
                                                  "00de"
                                                  "2200]",
                                              "result id=1 timeout=120", "unbind"}));
    EXPECT_EQ(ldap.openHandles, 0);
    EXPECT_EQ(captured.both(), "");
}

TEST_F(LdapPasswordSetterTest, OnOtherServersThePasswordModifyOperationCarriesUtf8) {
    answerSearches(ldap, false, {"top", "person", "inetOrgPerson"});
    EXPECT_EQ(set("P\xc3\xa4ss"), 0);
    EXPECT_EQ(ldap.calls(), with(kReachUser, {"password modify [" + kUserDn + "]", "unbind"}));
    EXPECT_EQ(ldap.callsOf(Call::Kind::PasswordModify).front().password, "P\xc3\xa4ss");
    EXPECT_EQ(ldap.openHandles, 0);
    EXPECT_EQ(captured.both(), "");
}

TEST_F(LdapPasswordSetterTest, DebugOutputMarksTheStartOfThePasswordWorkOnce) {
    captured.reporter.debug = true;
    EXPECT_EQ(set("Secret-1", kUserDn, ""), static_cast<std::int32_t>(0x80005000u));
    answerSearches(ldap, true, {"user"});
    EXPECT_EQ(set(), 0);
    EXPECT_EQ(captured.out(), "DEBUG: COM Initialized.\nadsi error\n");
    EXPECT_EQ(captured.err(), kBadPathname);

    FakeLdapLibrary quietLdap;
    LdapPasswordSetter quietSetter(quietLdap, kTimeLimit);
    CapturedConsole plain;
    answerSearches(quietLdap, true, {"user"});
    EXPECT_EQ(quietSetter.setPassword(plain.reporter, kServer, kUserDn, "Secret-1"), 0);
    EXPECT_EQ(plain.both(), "");
}

// Each way of not reaching the user: the status, its one report, no change sent, and the
// session closed.
TEST_F(LdapPasswordSetterTest, FailuresToReachTheUserAreReportedAsTheBindings) {
    struct Row {
        const char* what;
        void (*script)(FakeLdapLibrary&);
        std::uint32_t status;
        std::string report;
        bool bound;  // whether the negotiate bind was attempted
    };
    const std::vector<Row> rows = {
        {"unreachable server", [](FakeLdapLibrary& l) { l.bindResult = kLdapServerDown; },
         0x8007203Au, "(0x8007203a) The server is not operational.\n", true},
        {"no ticket", [](FakeLdapLibrary& l) { l.bindResult = kLdapLocalError; }, 0x8007203Bu,
         "(0x8007203b) A local error has occurred.\n", true},
        {"no handle", [](FakeLdapLibrary& l) { l.initError = kLdapParamError; }, 0x8007203Fu,
         "(0x8007203f) One or more parameters are illegal.\n", false},
        // Without a sealing layer the session is never bound, so no password can follow.
        {"sealing refused",
         [](FakeLdapLibrary& l) { l.optionResults[kLdapOptEncrypt] = kLdapParamError; },
         0x8007203Fu, "(0x8007203f) One or more parameters are illegal.\n", false},
        // The layer agreed on is checked after the bind; a weaker one fails it.
        {"bound without sealing", [](FakeLdapLibrary& l) { l.bindResult = 0x0D; }, 0x8007202Du,
         "(0x8007202d) This request requires a secure connection.\n", true},
        {"RootDSE unreadable",
         [](FakeLdapLibrary& l) {
             l.searchAnswers.push_back(SearchAnswer{kLdapServerDown, {}});
         },
         0x8007203Au, "(0x8007203a) The server is not operational.\n", true},
        {"no such object",
         [](FakeLdapLibrary& l) {
             l.searchAnswers.push_back(SearchAnswer{0, {rootDse(true)}});
             l.searchAnswers.push_back(SearchAnswer{32, {}});
         },
         0x80072030u, "(0x80072030) There is no such object on the server.\n", true},
        {"no entry",
         [](FakeLdapLibrary& l) {
             l.searchAnswers.push_back(SearchAnswer{0, {rootDse(true)}});
             l.searchAnswers.push_back(SearchAnswer{0, {}});
         },
         0x80072030u, "(0x80072030) There is no such object on the server.\n", true},
        {"an OU",
         [](FakeLdapLibrary& l) {
             answerSearches(l, true, {"top", "organizationalUnit"});
         },
         0x80004002u, "(0x80004002) No such interface supported\n", true},
        // Active Directory users are of class user; a bare person (a contact) is not one.
        {"an AD contact",
         [](FakeLdapLibrary& l) {
             answerSearches(l, true, {"top", "person", "organizationalPerson", "contact"});
         },
         0x80004002u, "(0x80004002) No such interface supported\n", true},
        {"an OU elsewhere",
         [](FakeLdapLibrary& l) {
             answerSearches(l, false, {"top", "organizationalUnit"});
         },
         0x80004002u, "(0x80004002) No such interface supported\n", true},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary rowLdap;
        row.script(rowLdap);
        LdapPasswordSetter rowSetter(rowLdap, kTimeLimit);
        CapturedConsole reporter;
        EXPECT_EQ(static_cast<std::uint32_t>(
                      rowSetter.setPassword(reporter.reporter, kServer, kUserDn, "Secret-1")),
                  row.status)
            << row.what;
        EXPECT_EQ(reporter.out(), "") << row.what;
        EXPECT_EQ(reporter.err(), " - ERROR: (ADsGetObject) " + row.report) << row.what;
        EXPECT_EQ(rowLdap.count(Call::Kind::NegotiateBind), row.bound ? 1u : 0u) << row.what;
        EXPECT_EQ(rowLdap.count(Call::Kind::Modify), 0u) << row.what;
        EXPECT_EQ(rowLdap.count(Call::Kind::PasswordModify), 0u) << row.what;
        EXPECT_EQ(rowLdap.openHandles, 0) << row.what;
    }
}

TEST_F(LdapPasswordSetterTest, RefusedChangesAreReportedAsSetPasswordsAndCloseTheSession) {
    struct Row {
        bool activeDirectory;
        fake::RequestAnswer answer;  // for the modify
        int passwordModifyResult;
        std::uint32_t status;
        std::string report;
    };
    const std::string policy =
        "(0x800708c5) The password does not meet the password policy requirements. Check the "
        "minimum password length, password complexity and password history requirements.\n";
    const std::vector<Row> rows = {
        {true,
         fake::result(19,
                      "0000052D: Constraint violation - check_password_restrictions: the "
                      "password is too short. It should be equal or longer than 7 characters!"),
         0, 0x800708C5u, policy},
        {true, fake::result(19, "0000202F: something else"), 0, 0x8007202Fu,
         "(0x8007202f) A constraint violation occurred.\n"},
        {true,
         fake::result(50, "error in module acl: insufficient access rights during LDB_MODIFY (50)"),
         0, 0x80070005u, "(0x80070005) Access is denied.\n"},
        {true,
         fake::result(53,
                      "00002035: setup_io: it's not allowed to set the NT hash password "
                      "directly'"),
         0, 0x80072035u, "(0x80072035) The server is unwilling to process the request.\n"},
        {true, fake::noAnswerInTime(), 0, 0x800705B4u,
         "(0x800705b4) This operation returned because the timeout period expired.\n"},
        {true, fake::sendFailure(kLdapServerDown), 0, 0x8007203Au,
         "(0x8007203a) The server is not operational.\n"},
        {false, {}, 50, 0x80070005u, "(0x80070005) Access is denied.\n"},
        {false, {}, 14, 0x80072095u, "(0x80072095) A directory service error has occurred.\n"},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary rowLdap;
        answerSearches(rowLdap, row.activeDirectory, {"top", "person", "user"});
        rowLdap.answerRequests({row.answer});
        rowLdap.passwordModifyResult = row.passwordModifyResult;
        LdapPasswordSetter rowSetter(rowLdap, kTimeLimit);
        CapturedConsole reporter;
        EXPECT_EQ(static_cast<std::uint32_t>(
                      rowSetter.setPassword(reporter.reporter, kServer, kUserDn, "Secret-1")),
                  row.status)
            << row.report;
        EXPECT_EQ(reporter.out(), "");
        EXPECT_EQ(reporter.err(), " - ERROR: (SetPassword) " + row.report);
        EXPECT_EQ(
            rowLdap.count(row.activeDirectory ? Call::Kind::Modify : Call::Kind::PasswordModify),
            1u)
            << row.report;
        EXPECT_EQ(rowLdap.calls().back(), "unbind") << row.report;
        EXPECT_EQ(rowLdap.openHandles, 0) << row.report;
    }
}

TEST_F(LdapPasswordSetterTest, AServerOrDnThatNamesNoSingleObjectIsABadPathname) {
    struct Row {
        std::string server;
        std::string dn;
    };
    const std::vector<Row> rows = {
        // A RootDSE without a DNS host name.
        {"", kUserDn},
        {kServer, ""},
        // Server texts that would be cut into another server, or another server and DN.
        {"dc1/CN=x", kUserDn},
        {"dc1 dc2", kUserDn},
        {"[::1", kUserDn},
        {"admin@dc1", kUserDn},
        // A DN that is not text in the locale.
        {kServer, "CN=\xff,DC=x"},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary rowLdap;
        LdapPasswordSetter rowSetter(rowLdap, kTimeLimit);
        CapturedConsole reporter;
        reporter.reporter.quiet = true;  // a failure is reported whatever -q says
        EXPECT_EQ(static_cast<std::uint32_t>(
                      rowSetter.setPassword(reporter.reporter, row.server, row.dn, "Secret-1")),
                  0x80005000u)
            << row.server << " " << row.dn;
        // The name of a directory-object code has no line end of its own.
        EXPECT_EQ(reporter.both(), "adsi error\n" + kBadPathname) << row.server << " " << row.dn;
        EXPECT_EQ(reporter.out(), "adsi error\n");
        EXPECT_TRUE(rowLdap.log.empty()) << row.server << " " << row.dn;
    }
}

TEST_F(LdapPasswordSetterTest, TheServerIsReadAsTheRunReadsServerTexts) {
    struct Row {
        std::string server;
        std::string init;
    };
    const std::vector<Row> rows = {
        {"dc1.homelab.net:3268", "init host=dc1.homelab.net port=3268"},
        {"10.0.0.5", "init host=10.0.0.5 port=389"},
        {"::1", "init host=::1 port=389"},
        {"[::1]:636", "init host=::1 port=636"},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary rowLdap;
        answerSearches(rowLdap, true, {"user"});
        LdapPasswordSetter rowSetter(rowLdap, kTimeLimit);
        CapturedConsole reporter;
        EXPECT_EQ(rowSetter.setPassword(reporter.reporter, row.server, kUserDn, "pw"), 0);
        EXPECT_EQ(rowLdap.calls().front(), row.init);
    }
}

TEST_F(LdapPasswordSetterTest, TheDnIsSentAsWritten) {
    for (const std::string dn : {"CN=Smith\\, Kim ,OU=A/B,DC=x", "/CN=x",
                                 "CN=J\xc3\xbcrgen \xe2\x82\xac\xf0\x9f\x98\x80,DC=x"}) {
        FakeLdapLibrary rowLdap;
        answerSearches(rowLdap, true, {"user"}, dn);
        LdapPasswordSetter rowSetter(rowLdap, kTimeLimit);
        CapturedConsole reporter;
        EXPECT_EQ(rowSetter.setPassword(reporter.reporter, kServer, dn, "pw"), 0) << dn;
        EXPECT_EQ(rowLdap.calls()[7], userSearch(dn));
        EXPECT_EQ(rowLdap.callsOf(Call::Kind::Modify).front().dn, dn);
    }
}

TEST_F(LdapPasswordSetterTest, APasswordThatIsNotTextInTheLocaleIsNeverSent) {
    ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
    const std::string report =
        " - ERROR: (SetPassword) (0x80070459) No mapping for the Unicode character exists in "
        "the target multi-byte code page.\n";
    for (const bool activeDirectory : {true, false}) {
        FakeLdapLibrary rowLdap;
        answerSearches(rowLdap, activeDirectory, {"person", "user"});
        LdapPasswordSetter rowSetter(rowLdap, kTimeLimit);
        CapturedConsole reporter;
        EXPECT_EQ(static_cast<std::uint32_t>(
                      rowSetter.setPassword(reporter.reporter, kServer, kUserDn, "Gr\xc3\xbcn-1")),
                  0x80070459u);
        EXPECT_EQ(reporter.err(), report);
        EXPECT_EQ(rowLdap.calls(), with(kReachUser, {"unbind"}));
    }
}

TEST_F(LdapPasswordSetterTest, TheExitStatusOfAPolicyRefusalIsItsLowByte) {
    answerSearches(ldap, true, {"user"});
    ldap.answerRequests({fake::result(19, "0000052D: Constraint violation")});
    EXPECT_EQ(processExitStatus(set()), 197);
}

}  // namespace
}  // namespace kestrel

namespace kestrel {
namespace {

// The password step's sessions follow the run's: over TLS they ask for no SASL layer (TLS
// seals them) and bind as the run does; ldaps goes to the DC's TLS port.
TEST(LdapPasswordSetterSecurity, SessionsAreProtectedAndBoundAsTheRunsOwn) {
    BindCredentials credentials;
    credentials.dn = "svc@homelab.net";
    credentials.password = "Bind-Pw-1";
    struct Row {
        std::string name;
        TlsMode tls;
        bool withCredentials;
        std::vector<std::string> calls;  // up to the bind
    };
    const std::vector<Row> rows = {
        {"ldaps, Kerberos",
         TlsMode::Ldaps,
         false,
         {"init host=dc1.homelab.net port=636 ldaps", "time limit 120", "option 0x11=3",
          "option 0x8=0", "connect", "bind negotiate"}},
        {"StartTLS, -binddn",
         TlsMode::StartTls,
         true,
         {"init host=dc1.homelab.net port=389", "time limit 120", "option 0x11=3", "option 0x8=0",
          "connect", "start tls", "bind simple dn=[svc@homelab.net] password=[Bind-Pw-1]"}},
        {"plain: sealed by the SASL layer, as always",
         TlsMode::None,
         false,
         {"init host=dc1.homelab.net port=389", "time limit 120", "option 0x11=3", "option 0x8=0",
          "option 0x96=1", "bind negotiate"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fake::FakeLdapLibrary ldap;
        ldap.searchAnswers.push_back(fake::SearchAnswer{
            0, {LdapEntry{"", {{"supportedCapabilities", {"1.2.840.113556.1.4.800"}}}}}});
        ldap.searchAnswers.push_back(
            fake::SearchAnswer{0, {LdapEntry{"CN=Kim,DC=x", {{"objectClass", {"top", "user"}}}}}});
        const SessionSecurity security{row.tls, row.withCredentials ? &credentials : nullptr};
        LdapPasswordSetter setter(ldap, 120, &security);
        fake::CapturedConsole console;
        EXPECT_EQ(setter.setPassword(console.reporter, "dc1.homelab.net", "CN=Kim,DC=x", "New-1"),
                  0);
        std::vector<std::string> calls = ldap.calls();
        calls.resize(row.calls.size());
        EXPECT_EQ(calls, row.calls);
        EXPECT_EQ(console.both(), "");
    }
}

TEST(LdapPasswordSetterSecurity, AFailedStartTlsSendsNothingAndIsTheBindingsFailure) {
    fake::FakeLdapLibrary ldap;
    ldap.startTlsResult = kLdapConnectError;
    const SessionSecurity security{TlsMode::StartTls, nullptr};
    LdapPasswordSetter setter(ldap, 120, &security);
    fake::CapturedConsole console;
    EXPECT_NE(setter.setPassword(console.reporter, "dc1.homelab.net", "CN=Kim,DC=x", "New-1"), 0);
    EXPECT_EQ(ldap.count(fake::Call::Kind::NegotiateBind), 0u);
    EXPECT_TRUE(ldap.requests().empty());
    EXPECT_EQ(console.err().rfind(" - ERROR: (ADsGetObject) (0x", 0), 0u) << console.err();
}

}  // namespace
}  // namespace kestrel
