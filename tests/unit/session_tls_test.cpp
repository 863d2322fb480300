// openSession over the recording fake: TLS (ldaps:// and StartTLS),
// the simple bind of -binddn, and the DCs a locator finds when no server is named.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "connection/ldap_session.h"
#include "fake_ldap.h"

namespace kestrel {
namespace {

using fake::Call;
using fake::CapturedConsole;
using fake::FakeDcLocator;
using fake::FakeLdapLibrary;
using Lines = std::vector<std::string>;

const std::string kPassword = "Pw-of-the-test-1";

// Credentials whose password is handed over when asked for, counting the asks.
struct TestCredentials {
    BindCredentials credentials;
    int asked = 0;
    bool available = true;

    TestCredentials() {
        credentials.dn = "CN=svc,DC=x";
        credentials.readPassword = [this](std::string& password) {
            ++asked;
            password = kPassword;
            return available;
        };
    }
};

// openSession to `server` as `credentials`' simple bind, with or without StartTLS.
std::optional<LdapSession> openAs(FakeLdapLibrary& library, CapturedConsole& console,
                                  TestCredentials& credentials, std::optional<std::string> server,
                                  bool startTls) {
    ConnectSettings settings;
    settings.server = std::move(server);
    settings.startTls = startTls;
    settings.credentials = &credentials.credentials;
    return openSession(console.reporter, library, settings);
}

// The calls after the init's time limit and options: where TLS and the bind go.
Lines tlsAndBind(const FakeLdapLibrary& library) {
    Lines lines;
    for (const Call& call : library.log) {
        if (call.kind == Call::Kind::Init || call.kind == Call::Kind::Connect ||
            call.kind == Call::Kind::StartTls || call.kind == Call::Kind::NegotiateBind ||
            call.kind == Call::Kind::SimpleBind || call.kind == Call::Kind::SetOption) {
            lines.push_back(call.text());
        }
    }
    return lines;
}

TEST(OpenSessionTls, TlsComesBeforeTheBindAndSealsInsteadOfASaslLayer) {
    struct Row {
        std::string name;
        std::string server;  // empty: the library's default
        bool defaultUsesTls;
        bool startTls;
        bool credentials;
        bool encrypt;
        Lines calls;
        TlsMode tls;
    };
    const std::vector<Row> rows = {
        {"ldaps, Kerberos",
         "ldaps://dc1",
         false,
         false,
         false,
         false,
         {"init host=dc1 port=636 ldaps", "option 0x11=3", "connect", "bind negotiate"},
         TlsMode::Ldaps},
        {"StartTLS, Kerberos, a password to seal: TLS seals it",
         "dc1",
         false,
         true,
         false,
         true,
         {"init host=dc1 port=389", "option 0x11=3", "connect", "start tls", "bind negotiate"},
         TlsMode::StartTls},
        {"ldaps, -binddn",
         "ldaps://dc1",
         false,
         false,
         true,
         false,
         {"init host=dc1 port=636 ldaps", "option 0x11=3", "connect",
          "bind simple dn=[CN=svc,DC=x] password=[" + kPassword + "]"},
         TlsMode::Ldaps},
        {"StartTLS, -binddn, -kerbenc",
         "ldap://dc1",
         false,
         true,
         true,
         true,
         {"init host=dc1 port=389", "option 0x11=3", "connect", "start tls",
          "bind simple dn=[CN=svc,DC=x] password=[" + kPassword + "]"},
         TlsMode::StartTls},
        {"the library's default servers are ldaps://",
         "",
         true,
         false,
         true,
         true,
         {"init host=(none) port=(default)", "option 0x11=3", "connect",
          "bind simple dn=[CN=svc,DC=x] password=[" + kPassword + "]"},
         TlsMode::Ldaps},
        {"plain LDAP is as before: no connect of its own, the sealing option",
         "dc1",
         false,
         false,
         false,
         true,
         {"init host=dc1 port=389", "option 0x11=3", "option 0x96=1", "bind negotiate"},
         TlsMode::None},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeLdapLibrary library;
        library.defaultUsesTls = row.defaultUsesTls;
        CapturedConsole console;
        TestCredentials credentials;
        ConnectSettings settings;
        if (!row.server.empty()) {
            settings.server = row.server;
        }
        settings.startTls = row.startTls;
        settings.encrypt = row.encrypt;
        settings.credentials = row.credentials ? &credentials.credentials : nullptr;
        std::optional<LdapSession> session = openSession(console.reporter, library, settings);
        ASSERT_TRUE(session.has_value());
        EXPECT_EQ(tlsAndBind(library), row.calls);
        EXPECT_EQ(session->tls, row.tls);
        EXPECT_EQ(credentials.asked, row.credentials ? 1 : 0);
        EXPECT_EQ(console.both(), "");
    }
}

// Refused before any byte is sent: no connect, no StartTLS, no bind, no password asked for.
TEST(OpenSessionTls, APasswordOutsideTlsAndStartTlsInsideTlsAreRefused) {
    struct Row {
        std::string name;
        std::optional<std::string> server;
        bool defaultUsesTls;
        bool startTls;
        std::string line;
    };
    const std::string noTls =
        "ERROR: -binddn sends a password, so it binds only over TLS: name an ldaps:// server, "
        "or add -starttls. Nothing was sent.\n";
    const std::vector<Row> rows = {
        {"-binddn to a plain host", "dc1:636", false, false, noTls},
        {"-binddn to an ldap:// URL", "ldap://dc1", false, false, noTls},
        {"-binddn to the plain default server", std::nullopt, false, false, noTls},
        {"-starttls with ldaps://", "ldaps://dc1", false, true,
         "ERROR: -starttls is for ldap:// servers; dc1 speaks TLS from the start (ldaps://). "
         "Nothing was sent.\n"},
        {"-starttls with an ldaps:// default", std::nullopt, true, true,
         "ERROR: -starttls is for ldap:// servers; ldap.default.test speaks TLS from the start "
         "(ldaps://). Nothing was sent.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeLdapLibrary library;
        library.defaultUsesTls = row.defaultUsesTls;
        CapturedConsole console;
        TestCredentials credentials;
        EXPECT_FALSE(openAs(library, console, credentials, row.server, row.startTls));
        EXPECT_EQ(console.out(), row.line);
        EXPECT_EQ(console.err(), "");
        for (const Call::Kind kind : {Call::Kind::Connect, Call::Kind::StartTls,
                                      Call::Kind::SimpleBind, Call::Kind::NegotiateBind}) {
            EXPECT_EQ(library.count(kind), 0u);
        }
        EXPECT_EQ(credentials.asked, 0);
        EXPECT_EQ(library.openHandles, 0);
    }
}

TEST(OpenSessionTls, NoPasswordNoConnection) {
    FakeLdapLibrary library;
    CapturedConsole console;
    TestCredentials credentials;
    credentials.available = false;
    EXPECT_FALSE(openAs(library, console, credentials, "ldaps://dc1", false));
    EXPECT_EQ(library.count(Call::Kind::Connect), 0u);
    EXPECT_EQ(library.count(Call::Kind::SimpleBind), 0u);
}

// A failed StartTLS or handshake ends the open at the bind's stage, with a line that says
// what failed; nothing is ever sent without the TLS asked for.
TEST(OpenSessionTls, AFailedTlsSetupIsABindFailureWithItsReason) {
    const std::string handshake =
        "ERROR: The TLS handshake with dc1 failed: its certificate was not accepted (TLS_CACERT "
        "and TLS_REQCERT in ldap.conf, LDAPTLS_CACERT), is not issued to that name, or the "
        "server does not speak TLS there. No request was sent.\n";
    struct Row {
        std::string name;
        std::string server;
        bool startTls;
        int connectResult;
        int startTlsResult;
        std::string err;
        std::string out;
    };
    const std::vector<Row> rows = {
        {"ldaps handshake", "ldaps://dc1", false, kLdapConnectError, 0,
         "LDAP_BIND: [dc1] Error 0x5b (91) - Connect error\n", handshake},
        {"ldaps, no answer in time", "ldaps://dc1", false, kLdapTimeout, 0,
         "LDAP_BIND: [dc1] Error 0x55 (85) - Timed out\n", ""},
        {"ldaps, nothing listening", "ldaps://dc1", false, kLdapServerDown, 0,
         "LDAP_BIND: [dc1] Error 0x51 (81) - Can't contact LDAP server\n", ""},
        {"StartTLS refused", "dc1", true, 0, 2, "LDAP_BIND: [dc1] Error 0x2 (2) - Protocol error\n",
         "ERROR: dc1 refused StartTLS, and nothing is sent to it without TLS. No request was "
         "sent.\n"},
        {"StartTLS handshake", "dc1", true, 0, kLdapConnectError,
         "LDAP_BIND: [dc1] Error 0x5b (91) - Connect error\n", handshake},
        {"StartTLS, no answer in time", "dc1", true, 0, kLdapTimeout,
         "LDAP_BIND: [dc1] Error 0x55 (85) - Timed out\n", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeLdapLibrary library;
        library.connectResultFor["dc1"] = row.connectResult;
        library.startTlsResult = row.startTlsResult;
        CapturedConsole console;
        TestCredentials credentials;
        EXPECT_FALSE(openAs(library, console, credentials, row.server, row.startTls));
        EXPECT_EQ(console.err(), row.err);
        EXPECT_EQ(console.out(), row.out);
        EXPECT_EQ(library.count(Call::Kind::SimpleBind), 0u);
        EXPECT_EQ(library.openHandles, 0);
    }
}

TEST(OpenSessionTls, TheDebugDumpNeverShowsThePassword) {
    FakeLdapLibrary library;
    CapturedConsole console;
    console.reporter.debug = true;
    TestCredentials credentials;
    ASSERT_TRUE(openAs(library, console, credentials, "dc1", true));
    EXPECT_NE(console.out().find("DEBUG:    userdn: CN=svc,DC=x\n"
                                 "DEBUG:    password: (not shown)\n"
                                 "DEBUG:    Simple: 1\n"),
              std::string::npos)
        << console.out();
    EXPECT_EQ(console.err(),
              "LDAP_OPTION: Version 3\nLDAP_STARTTLS: [dc1] Successful\n"
              "LDAP_BIND: [dc1] Successful\n");
    EXPECT_EQ(console.both().find(kPassword), std::string::npos);
}

// With no server named, the DCs the locator finds are tried in its order; one that cannot
// be reached gives way to the next, any other failure ends the open.
TEST(OpenSessionLocator, TriesTheLocatedDcsInTurn) {
    const LocatedDcs located{"_ldap._tcp.dc._msdcs.homelab.net",
                             {{0, 100, 389, "dc0.homelab.net"},
                              {0, 0, 389, "bad/name"},
                              {10, 100, 3389, "dc1.homelab.net"},
                              {20, 100, 389, "dc2.homelab.net"}}};
    struct Row {
        std::string name;
        int port;
        std::map<std::string, int> bindResults;
        bool startTls;
        std::map<std::string, int> connectResults;
        Lines inits;
        std::string serverText;  // empty: no session
        std::string err;
    };
    const std::vector<Row> rows = {
        {"the first unreachable, the second binds",
         0,
         {{"dc0.homelab.net", kLdapServerDown}},
         false,
         {},
         {"init host=dc0.homelab.net port=389", "init host=dc1.homelab.net port=3389"},
         "dc1.homelab.net",
         ""},
        {"-p wins over the records' ports; -p 1 is the global catalog",
         1,
         {},
         false,
         {},
         {"init host=dc0.homelab.net port=3268"},
         "dc0.homelab.net",
         ""},
        {"a failure other than an unreachable server ends the open",
         0,
         {{"dc0.homelab.net", kLdapLocalError}},
         false,
         {},
         {"init host=dc0.homelab.net port=389"},
         "",
         "LDAP_BIND: [dc0.homelab.net] Error 0x52 (82) - Local error\n"},
        {"none reachable: the last one is reported",
         0,
         {{"dc0.homelab.net", kLdapServerDown},
          {"dc1.homelab.net", kLdapServerDown},
          {"dc2.homelab.net", kLdapServerDown}},
         false,
         {},
         {"init host=dc0.homelab.net port=389", "init host=dc1.homelab.net port=3389",
          "init host=dc2.homelab.net port=389"},
         "",
         "LDAP_BIND: [dc2.homelab.net] Error 0x51 (81) - Can't contact LDAP server\n"},
        {"with StartTLS, one that cannot be connected to gives way too",
         0,
         {},
         true,
         {{"dc0.homelab.net", kLdapServerDown}},
         {"init host=dc0.homelab.net port=389", "init host=dc1.homelab.net port=3389"},
         "dc1.homelab.net",
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeLdapLibrary library;
        library.bindResultFor = row.bindResults;
        library.connectResultFor = row.connectResults;
        FakeDcLocator locator;
        locator.answer = located;
        CapturedConsole console;
        ConnectSettings settings;
        settings.port = row.port;
        settings.startTls = row.startTls;
        settings.locator = &locator;
        settings.timeoutSeconds = 7;
        std::optional<LdapSession> session = openSession(console.reporter, library, settings);
        Lines inits;
        for (const Call& call : library.callsOf(Call::Kind::Init)) {
            inits.push_back(call.text());
        }
        EXPECT_EQ(inits, row.inits);
        EXPECT_EQ(session.has_value(), !row.serverText.empty());
        if (session) {
            EXPECT_EQ(session->serverText, row.serverText);
            EXPECT_EQ(library.openHandles, 1);
        }
        EXPECT_EQ(console.err(), row.err);
        EXPECT_EQ(console.out(), "");
        EXPECT_EQ(locator.calls, 1);
    }
}

TEST(OpenSessionLocator, ANamedServerOrNoDcFoundKeepsTheOldWay) {
    struct Row {
        std::optional<std::string> server;
        LocatedDcs answer;
        int asked;
        std::string init;
    };
    const std::vector<Row> rows = {
        {"dc9", {"_ldap._tcp.dc._msdcs.x", {{0, 0, 389, "dc1.x"}}}, 0, "init host=dc9 port=389"},
        {std::nullopt, {}, 1, "init host=(none) port=(default)"},
        {std::nullopt, {"_ldap._tcp.dc._msdcs.x", {}}, 1, "init host=(none) port=(default)"},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary library;
        FakeDcLocator locator;
        locator.answer = row.answer;
        CapturedConsole console;
        ConnectSettings settings;
        settings.server = row.server;
        settings.locator = &locator;
        ASSERT_TRUE(openSession(console.reporter, library, settings).has_value());
        EXPECT_EQ(locator.calls, row.asked);
        EXPECT_EQ(library.log.front().text(), row.init);
        EXPECT_EQ(console.both(), "");
    }
}

}  // namespace
}  // namespace kestrel
