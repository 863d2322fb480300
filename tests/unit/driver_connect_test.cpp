// The driver's connect part: -h URLs, -starttls, -binddn with -pwfile, the DC locator, and
// what the password step is told about the run's session.
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/driver.h"
#include "fake_ldap.h"

namespace kestrel {
namespace {

using fake::Call;
using fake::CapturedConsole;
using fake::FakeDcLocator;
using fake::FakeLdapLibrary;
using fake::SearchAnswer;
using Lines = std::vector<std::string>;

const std::string kKim = "cn=kim,cn=users,dc=homelab,dc=net";
const std::string kBindPassword = "Bind-Pw-\xc3\xa9-1";

// Records, at each password it is asked to set, what the run told it about its session.
class SecurityRecorder final : public PasswordSetter {
  public:
    SessionSecurity* security = nullptr;
    std::vector<std::string> seen;

    std::int32_t setPassword(Reporter&, const std::string&, const std::string&,
                             const std::string&) override {
        std::string line = security->tls == TlsMode::Ldaps      ? "ldaps"
                           : security->tls == TlsMode::StartTls ? "starttls"
                                                                : "plain";
        if (security->credentials != nullptr) {
            line += " as " + security->credentials->dn + " with " +
                    (security->credentials->password == kBindPassword ? "the bind password"
                                                                      : "another password");
        }
        seen.push_back(line);
        return 0;
    }
};

class DriverConnectTest : public ::testing::Test {
  protected:
    DriverConnectTest() {
        library.searchAnswers.push_back(SearchAnswer{0, {fake::rootDseEntry("dc1.homelab.net")}});
        char name[] = "/tmp/kestrel-pwfile-XXXXXX";
        const int fd = mkstemp(name);
        passwordFile = name;
        const std::string line = kBindPassword + "\n";
        EXPECT_EQ(write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        close(fd);
        passwords.security = &security;
    }
    ~DriverConnectTest() override { std::remove(passwordFile.c_str()); }

    // The password file is UTF-8, read in the caller's locale.
    void SetUp() override {
        saved_ = std::setlocale(LC_CTYPE, nullptr);
        ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    }
    void TearDown() override { std::setlocale(LC_CTYPE, saved_.c_str()); }

    std::int32_t run(const std::vector<std::string>& args) {
        std::vector<const char*> argv{"kestrel"};
        for (const std::string& arg : args) {
            argv.push_back(arg.c_str());
        }
        std::istringstream in;
        DriverServices services{library, passwords, [] { return 0u; }, {}, &locator, &security};
        return runKestrel(static_cast<int>(argv.size()), argv.data(), in, captured.reporter,
                          services);
    }

    // The calls that open the session, up to its bind.
    Lines opening() const {
        Lines lines;
        for (const Call& call : library.log) {
            if (call.kind == Call::Kind::Search) {
                break;
            }
            if (call.kind != Call::Kind::TimeLimit && call.kind != Call::Kind::SetOption) {
                lines.push_back(call.text());
            }
        }
        return lines;
    }

    CapturedConsole captured;
    FakeLdapLibrary library;
    FakeDcLocator locator;
    SessionSecurity security;
    SecurityRecorder passwords;
    std::string passwordFile;

  private:
    std::string saved_;
};

TEST_F(DriverConnectTest, SwitchesOfAnyCaseReachTheSession) {
    struct Row {
        std::string name;
        std::vector<std::string> args;
        Lines opening;
    };
    const std::string simple = "bind simple dn=[svc@homelab.net] password=[" + kBindPassword + "]";
    const std::vector<Row> rows = {
        {"-H ldaps://, the habit of other LDAP tools",
         {"-H", "ldaps://dc1.homelab.net"},
         {"init host=dc1.homelab.net port=636 ldaps", "connect", "bind negotiate"}},
        {"-StartTLS",
         {"-h", "dc1", "-StartTLS"},
         {"init host=dc1 port=389", "connect", "start tls", "bind negotiate"}},
        {"-BindDN with -PWFILE, whose file name starts with a slash",
         {"-h", "ldaps://dc1", "-BindDN", "svc@homelab.net", "-PWFILE", "PWFILE"},
         {"init host=dc1 port=636 ldaps", "connect", simple}},
        {"no -h: the DC the locator finds",
         {"-starttls"},
         {"init host=dc7.homelab.net port=389", "connect", "start tls", "bind negotiate"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        library.log.clear();
        library.searchAnswers.assign(1, SearchAnswer{0, {fake::rootDseEntry("dc1.homelab.net")}});
        locator.answer = {"_ldap._tcp.dc._msdcs.homelab.net", {{0, 0, 389, "dc7.homelab.net"}}};
        std::vector<std::string> args;
        for (const std::string& arg : row.args) {
            args.push_back(arg == "PWFILE" ? passwordFile : arg);
        }
        args.insert(args.end(), {"-b", kKim, "description::x"});
        captured.clear();
        EXPECT_EQ(run(args), 0) << captured.both();
        EXPECT_EQ(opening(), row.opening);
        EXPECT_EQ(captured.both().find(kBindPassword), std::string::npos);
    }
}

TEST_F(DriverConnectTest, CredentialSwitchesThatCannotWorkAreRefusedBeforeConnecting) {
    struct Row {
        std::string name;
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Row> rows = {
        {"-pwfile without -binddn",
         {"-h", "ldaps://dc1", "-pwfile", "PWFILE"},
         "ERROR: -pwfile names the file holding the password of -binddn, which is missing. "
         "Nothing was sent.\n"},
        {"-pwfile without a file",
         {"-h", "ldaps://dc1", "-binddn", "svc", "-pwfile"},
         "ERROR: -pwfile needs the name of the file holding the password. Nothing was sent.\n"},
        {"-binddn without a name",
         {"-h", "ldaps://dc1", "-pwfile", "PWFILE", "-binddn"},
         "ERROR: -binddn needs the name to bind as (a DN, or user@domain). Nothing was sent.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // The row's switches last: a switch given last has the empty value.
        std::vector<std::string> args{"-b", kKim, "description::x"};
        for (const std::string& arg : row.args) {
            args.push_back(arg == "PWFILE" ? passwordFile : arg);
        }
        captured.clear();
        EXPECT_EQ(run(args), -1);
        EXPECT_EQ(captured.out(), row.out);
        EXPECT_TRUE(library.log.empty());
    }
}

// #setpwd# opens sessions of its own to the DC: they follow the run's TLS and credentials,
// and nothing of them is left once the run is over.
TEST_F(DriverConnectTest, ThePasswordStepIsToldHowTheRunsSessionIsOpen) {
    struct Row {
        std::vector<std::string> args;
        std::string seen;
    };
    const std::vector<Row> rows = {
        {{"-h", "ldaps://dc1"}, "ldaps"},
        {{"-h", "dc1", "-starttls", "-binddn", "svc", "-pwfile", "PWFILE"},
         "starttls as svc with the bind password"},
        {{"-h", "dc1"}, "plain"},
    };
    for (const Row& row : rows) {
        passwords.seen.clear();
        library.searchAnswers.assign(1, SearchAnswer{0, {fake::rootDseEntry("dc1.homelab.net")}});
        std::vector<std::string> args;
        for (const std::string& arg : row.args) {
            args.push_back(arg == "PWFILE" ? passwordFile : arg);
        }
        args.insert(args.end(), {"-q", "-b", kKim, "#setpwd#::New-Pw-1"});
        EXPECT_EQ(run(args), 0) << captured.both();
        EXPECT_EQ(passwords.seen, Lines{row.seen});
        EXPECT_EQ(security.tls, TlsMode::None);
        EXPECT_EQ(security.credentials, nullptr);
    }
}

}  // namespace
}  // namespace kestrel
