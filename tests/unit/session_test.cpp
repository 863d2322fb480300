#include "connection/ldap_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_ldap.h"

namespace kestrel {
namespace {

using fake::Call;
using fake::CapturedConsole;
using fake::FakeLdapLibrary;
using Lines = std::vector<std::string>;

class OpenSessionTest : public ::testing::Test {
  protected:
    std::optional<LdapSession> open(const ConnectSettings& settings) {
        return openSession(captured.reporter, library, settings);
    }

    CapturedConsole captured;
    FakeLdapLibrary library;
};

TEST_F(OpenSessionTest, ChoosesHostAndPort) {
    struct Row {
        std::optional<std::string> server;
        int port;
        std::string init;
    };
    const std::vector<Row> rows = {
        {std::nullopt, 0, "init host=(none) port=(default)"},
        {std::nullopt, 1, "init host=(none) port=3268"},
        {std::nullopt, 389, "init host=(none) port=389"},
        {std::nullopt, 1000, "init host=(none) port=1000"},
        {"dc1", 0, "init host=dc1 port=389"},
        {"dc1:636", 0, "init host=dc1 port=636"},
        {"dc1:636", 1000, "init host=dc1 port=1000"},
        {"dc1:636", 1, "init host=dc1 port=3268"},
        {"dc1:", 0, "init host=dc1 port=389"},
        {"dc1:ldaps", 0, "init host=dc1 port=389"},
        {"dc1", -5, "init host=dc1 port=389"},
        {"dc1:636", -5, "init host=dc1 port=636"},
        {"dc1:636", 0, "init host=dc1 port=636"},
        {".", 0, "init host=localhost port=389"},
        {".corp.example:700", 0, "init host=localhost port=700"},
        {"", 0, "init host=(none) port=(default)"},
        {"::1", 0, "init host=::1 port=389"},
        {"fe80::1:2", 0, "init host=fe80::1:2 port=389"},
        {"[::1]", 0, "init host=::1 port=389"},
        {"[::1]:636", 0, "init host=::1 port=636"},
        {"[::1]:636", 1000, "init host=::1 port=1000"},
        {"10.0.0.5", 0, "init host=10.0.0.5 port=389"},
        {"dc_1.corp-x.example", 0, "init host=dc_1.corp-x.example port=389"},
        // A URL's scheme chooses TLS and the default port.
        {"ldap://dc1", 0, "init host=dc1 port=389"},
        {"ldaps://dc1", 0, "init host=dc1 port=636 ldaps"},
        {"LDAPS://dc1:1636", 0, "init host=dc1 port=1636 ldaps"},
        {"ldaps://dc1:1636", 1000, "init host=dc1 port=1000 ldaps"},
        {"ldaps://dc1", 1, "init host=dc1 port=3269 ldaps"},  // the global catalog over TLS
        {"ldap://dc1:389", 1, "init host=dc1 port=3268"},
        {"ldaps://[::1]", 0, "init host=::1 port=636 ldaps"},
        // A URL names its host exactly: the full stop rule is for plain host texts.
        {"ldap://.x", 0, "init host=.x port=389"},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        CapturedConsole reporter;
        ConnectSettings settings;
        settings.server = row.server;
        settings.port = row.port;
        std::optional<LdapSession> session = openSession(reporter.reporter, fresh, settings);
        ASSERT_TRUE(session.has_value()) << row.init;
        ASSERT_FALSE(fresh.log.empty());
        EXPECT_EQ(fresh.log.front().text(), row.init)
            << row.server.value_or("(none)") << " port " << row.port;
        EXPECT_EQ(reporter.out(), "");
        EXPECT_EQ(reporter.err(), "");
    }
}

// A named server that cannot be exactly one server is refused before any handle is made:
// cut into a URL it would reach another host or port, or none, and then the default one.
TEST_F(OpenSessionTest, RefusesServerTextsThatNameNoSingleServer) {
    for (const std::string server :
         {"10.0.0.5/x", "dc1?x", "dc1#x", "admin@dc1", "dc1 dc2", "dc1,dc2", ":636", "[::1",
          "[dc1]", "[::1]x", "[]", "dc1\\x", "d\xc3\xa9"}) {
        FakeLdapLibrary fresh;
        CapturedConsole reporter;
        ConnectSettings settings;
        settings.server = server;
        settings.port = 9;
        EXPECT_FALSE(openSession(reporter.reporter, fresh, settings).has_value()) << server;
        EXPECT_TRUE(fresh.log.empty()) << server;
        EXPECT_EQ(reporter.err(), "LDAP_INIT: [" + server +
                                      "] Error 0x59 (89) - Bad parameter to an ldap routine\n")
            << server;
    }
}

TEST_F(OpenSessionTest, TheDriversSettingsSetVersionThreeAndBindWithTheCallersTicket) {
    ConnectSettings settings;
    settings.server = "dc1";
    settings.timeoutSeconds = 120;
    std::optional<LdapSession> session = open(settings);
    ASSERT_TRUE(session.has_value());
    EXPECT_EQ(library.calls(), (Lines{"init host=dc1 port=389", "time limit 120", "option 0x11=3",
                                      "bind negotiate"}));
    EXPECT_EQ(session->serverText, "dc1");
    EXPECT_EQ(library.openHandles, 1);
    closeSession(*session);
    EXPECT_EQ(library.openHandles, 0);
    EXPECT_EQ(library.calls().back(), "unbind");
}

TEST_F(OpenSessionTest, SetsOnlyTheOptionsAskedFor) {
    struct Row {
        bool ref;
        bool version3;
        bool encrypt;
        Lines options;
    };
    const std::vector<Row> rows = {
        {true, true, false, {"option 0x11=3"}},
        {true, true, true, {"option 0x11=3", "option 0x96=1"}},
        {false, true, false, {"option 0x11=3", "option 0x8=0"}},
        {false, false, true, {"option 0x8=0", "option 0x96=1"}},
        {true, false, false, {}},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        CapturedConsole reporter;
        ConnectSettings settings;
        settings.ref = row.ref;
        settings.version3 = row.version3;
        settings.encrypt = row.encrypt;
        ASSERT_TRUE(openSession(reporter.reporter, fresh, settings).has_value());
        Lines options;
        for (const Call& call : fresh.callsOf(Call::Kind::SetOption)) {
            options.push_back(call.text());
        }
        EXPECT_EQ(options, row.options);
        // Options go in before the bind.
        EXPECT_EQ(fresh.log.back().text(), "unbind");
        EXPECT_EQ(fresh.log[fresh.log.size() - 2].text(), "bind negotiate");
    }
}

TEST_F(OpenSessionTest, DebugDumpsTheParametersAndTracesOptionsAndBind) {
    captured.reporter.debug = true;
    ConnectSettings settings;
    settings.server = ".:636";
    settings.ref = false;
    settings.encrypt = true;
    ASSERT_TRUE(open(settings).has_value());
    EXPECT_EQ(captured.out(),
              "DEBUG: In OpenLDAP... Params:\n"
              "DEBUG:    Server:    localhost\n"
              "DEBUG:    Port:        636\n"
              "DEBUG:    Ref:       0\n"
              "DEBUG:    V3:        1\n"
              "DEBUG:    Anonymous: 0\n"
              "DEBUG:    userdn: \n"
              "DEBUG:    password: \n"
              "DEBUG:    Simple: 0\n"
              "DEBUG:    LDAP_OPT_ENCRYPT: 1\n"
              "DEBUG:    Extended Error Info: 0\n");
    // The bind line shows the server as the caller passed it.
    EXPECT_EQ(captured.err(),
              "LDAP_OPTION: Version 3\n"
              "LDAP_OPTION: No referrals\n"
              "LDAP_OPTION: Kerberos Encryption\n"
              "LDAP_BIND: [.:636] Successful\n");
}

TEST_F(OpenSessionTest, DebugDumpWithoutServerHasNoServerLine) {
    captured.reporter.debug = true;
    ConnectSettings settings;
    settings.port = 1;
    settings.anonymous = true;
    settings.extendedErrorInfo = true;
    ASSERT_TRUE(open(settings).has_value());
    EXPECT_EQ(captured.out(),
              "DEBUG: In OpenLDAP... Params:\n"
              "DEBUG:    Port:        3268\n"
              "DEBUG:    Ref:       1\n"
              "DEBUG:    V3:        1\n"
              "DEBUG:    Anonymous: 1\n"
              "DEBUG:    userdn: \n"
              "DEBUG:    password: \n"
              "DEBUG:    Simple: 1\n"
              "DEBUG:    LDAP_OPT_ENCRYPT: 0\n"
              "DEBUG:    Extended Error Info: 1\n");
    // No host: the line names the library's default server.
    EXPECT_EQ(captured.err(),
              "LDAP_OPTION: Version 3\nLDAP_BIND: [ldap.default.test] Successful\n");
}

TEST_F(OpenSessionTest, WithoutDebugNothingIsWritten) {
    ConnectSettings settings;
    settings.server = "dc1";
    settings.encrypt = true;
    settings.ref = false;
    ASSERT_TRUE(open(settings).has_value());
    EXPECT_EQ(captured.both(), "");
}

TEST_F(OpenSessionTest, AFailingOptionIsReportedAndTheOpenGoesOn) {
    struct Row {
        int option;
        std::string line;
    };
    const std::vector<Row> rows = {
        {0x11,
         "LDAP_OPTION (Version3): : [dc1] Error 0x59 (89) - Bad parameter to an ldap routine\n"},
        {0x08,
         "LDAP_OPTION (NoReferrals): : [dc1] Error 0x59 (89) - Bad parameter to an ldap "
         "routine\n"},
        {0x96,
         "LDAP_OPTION (Kerberos Encryption On): : [dc1] Error 0x59 (89) - Bad parameter to an "
         "ldap routine\n"},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        CapturedConsole reporter;
        fresh.optionResults[row.option] = kLdapParamError;
        fresh.diagnosticText = "never asked for";
        ConnectSettings settings;
        settings.server = "dc1:389";
        settings.ref = false;
        settings.encrypt = true;
        EXPECT_TRUE(openSession(reporter.reporter, fresh, settings).has_value());
        EXPECT_EQ(reporter.err(), row.line);
        EXPECT_EQ(reporter.out(), "");
        EXPECT_EQ(fresh.count(Call::Kind::NegotiateBind), 1u);
    }
}

TEST_F(OpenSessionTest, NoHandleReportsTheInitFailure) {
    library.initError = kLdapParamError;
    ConnectSettings settings;
    settings.server = "dc1:636";
    EXPECT_FALSE(open(settings).has_value());
    EXPECT_EQ(captured.err(),
              "LDAP_INIT: [dc1] Error 0x59 (89) - Bad parameter to an ldap routine\n");
    EXPECT_EQ(library.calls(), (Lines{"init host=dc1 port=636"}));
}

TEST_F(OpenSessionTest, AFailedBindGivesNothingAndReleasesTheHandle) {
    library.bindResult = kLdapLocalError;
    library.diagnosticText = "SASL(-1): generic failure: No credentials were supplied";
    ConnectSettings settings;
    settings.server = "dc1";
    EXPECT_FALSE(open(settings).has_value());
    EXPECT_EQ(captured.err(), "LDAP_BIND: [dc1] Error 0x52 (82) - Local error\n");
    EXPECT_EQ(captured.out(), "");
    EXPECT_EQ(library.openHandles, 0);
}

TEST_F(OpenSessionTest, AFailedBindShowsTheLibrarysReasonInDebugMode) {
    captured.reporter.debug = true;
    library.bindResult = kLdapLocalError;
    library.diagnosticText = "No credentials were supplied";
    EXPECT_FALSE(open(ConnectSettings{}).has_value());
    EXPECT_EQ(captured.err(),
              "LDAP_OPTION: Version 3\n"
              "LDAP_BIND: [] Error 0x52 (82) - Local error\n");
    EXPECT_NE(captured.out().find("DEBUG: LDAP_BIND diagnostic: No credentials were supplied\n"),
              std::string::npos);
}

TEST_F(OpenSessionTest, ExtendedErrorInfoAddsTheServersTextToABindFailure) {
    library.bindResult = 49;
    library.diagnosticText = "80090308: LdapErr: DSID-0C09041C";
    ConnectSettings settings;
    settings.server = "dc1";
    settings.extendedErrorInfo = true;
    EXPECT_FALSE(open(settings).has_value());
    EXPECT_EQ(captured.err(),
              "LDAP_BIND: [dc1] Error 0x31 (49) - Invalid credentials\n"
              "Extended Error: (80090308: LdapErr: DSID-0C09041C)\n");
}

TEST_F(OpenSessionTest, BindKinds) {
    struct Row {
        bool anonymous;
        bool simple;
        std::string userdn;
        std::string bind;
    };
    const std::vector<Row> rows = {
        {false, false, "", "bind negotiate"},
        {true, false, "cn=admin", "bind simple dn=[] password=[]"},
        {true, true, "cn=admin", "bind simple dn=[] password=[]"},
        {false, true, "cn=admin,dc=x", "bind simple dn=[cn=admin,dc=x] password=[pw]"},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        CapturedConsole reporter;
        ConnectSettings settings;
        settings.anonymous = row.anonymous;
        settings.simple = row.simple;
        settings.userdn = row.userdn;
        settings.password = "pw";
        ASSERT_TRUE(openSession(reporter.reporter, fresh, settings).has_value()) << row.bind;
        Lines binds;
        for (const Call& call : fresh.log) {
            if (call.kind == Call::Kind::NegotiateBind || call.kind == Call::Kind::SimpleBind) {
                binds.push_back(call.text());
            }
        }
        EXPECT_EQ(binds, Lines{row.bind});
    }
}

TEST_F(OpenSessionTest, ADnForTheNegotiateBindIsRefusedBeforeBinding) {
    ConnectSettings settings;
    settings.userdn = "CN=Administrator,CN=Users,DC=homelab,DC=net";
    EXPECT_FALSE(open(settings).has_value());
    EXPECT_EQ(captured.out(), "ERROR: DN format not currently supported for secure bind.\n\n");
    EXPECT_EQ(library.count(Call::Kind::NegotiateBind), 0u);
    EXPECT_EQ(library.count(Call::Kind::SimpleBind), 0u);
}

TEST_F(OpenSessionTest, ExplicitNegotiateCredentialsNeverBindAsTheCaller) {
    ConnectSettings settings;
    settings.server = "dc1";
    settings.userdn = "HOMELAB\\kim";
    settings.password = "secret";
    EXPECT_FALSE(open(settings).has_value());
    EXPECT_EQ(library.count(Call::Kind::NegotiateBind), 0u);
    EXPECT_EQ(captured.err().rfind("LDAP_BIND: [dc1] Error 0x5c (92) - ", 0), 0u) << captured.err();
}

class AwaitResultTest : public ::testing::Test {
  protected:
    int sendOne() {
        int messageId = 0;
        EXPECT_EQ(session.handle->sendDelete("cn=x", {}, messageId), 0);
        return messageId;
    }

    FakeLdapLibrary library;
    LdapSession session = library.session();
    bool sent = false;
};

TEST_F(AwaitResultTest, PassesTheMessageAndTimeLimitAndReturnsTheCode) {
    library.answerRequests({fake::sentAsMessage(7)});
    const int messageId = sendOne();
    std::string diagnostic = "before";
    EXPECT_EQ(awaitResult(session, messageId, 120, diagnostic, sent), 0);
    EXPECT_EQ(library.log.back().text(), "result id=7 timeout=120");
    EXPECT_EQ(diagnostic, "before");
}

TEST_F(AwaitResultTest, SuccessLeavesTheDiagnosticAsItWas) {
    library.answerRequests({fake::result(0, "server chatter")});
    const int messageId = sendOne();
    std::string diagnostic = "before";
    EXPECT_EQ(awaitResult(session, messageId, 5, diagnostic, sent), 0);
    EXPECT_EQ(diagnostic, "before");
}

TEST_F(AwaitResultTest, FailureReplacesTheDiagnostic) {
    struct Row {
        int code;
        std::string serverText;
    };
    const std::vector<Row> rows = {
        {32, "0000208D: NameErr: DSID-03100241, problem 2001 (NO_OBJECT)"},
        {50, ""},
    };
    for (const Row& row : rows) {
        library.answerRequests({fake::result(row.code, row.serverText)});
        const int messageId = sendOne();
        std::string diagnostic = "stale text";
        EXPECT_EQ(awaitResult(session, messageId, 120, diagnostic, sent), row.code);
        EXPECT_EQ(diagnostic, row.serverText);
    }
}

TEST_F(AwaitResultTest, NoAnswerInTimeIsTheTimeoutCode) {
    library.answerRequests({fake::noAnswerInTime()});
    const int messageId = sendOne();
    std::string diagnostic = "stale text";
    EXPECT_EQ(awaitResult(session, messageId, 3, diagnostic, sent), kLdapTimeout);
    EXPECT_EQ(diagnostic, "");
    EXPECT_EQ(library.log.back().text(), "result id=1 timeout=3");
}

}  // namespace
}  // namespace kestrel
