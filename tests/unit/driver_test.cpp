#include "cli/driver.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "fake_ldap.h"
#include "run_texts.h"

namespace kestrel {
namespace {

using fake::Call;
using fake::CapturedConsole;
using fake::FakeLdapLibrary;
using fake::FakePasswordSetter;
using fake::result;
using fake::SearchAnswer;
using Lines = std::vector<std::string>;
using run_texts::kFailed;
using run_texts::kStop;
using run_texts::kSucceeded;

const std::string kKim = "cn=kim,cn=users,dc=homelab,dc=net";

// What a run writes before its first target.
std::string heading(int targets) {
    return "DN Count: " + std::to_string(targets) +
           "\nUsing server: dc1.homelab.net\nModifying specified objects...\n";
}

// Runs kestrel with `args` after the program's name and `input` on standard input.
std::int32_t runWith(DriverServices& services, Reporter& reporter,
                     const std::vector<std::string>& args, const std::string& input = "") {
    std::vector<const char*> argv{"kestrel"};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    std::istringstream in(input);
    return runKestrel(static_cast<int>(argv.size()), argv.data(), in, reporter, services);
}

class DriverTest : public ::testing::Test {
  protected:
    DriverTest() {
        library.searchAnswers.push_back(SearchAnswer{0, {fake::rootDseEntry("dc1.homelab.net")}});
    }

    std::int32_t run(const std::vector<std::string>& args, const std::string& input = "") {
        DriverServices services{library, passwords,
                                [this] {
                                    // Where in the run each reading falls.
                                    readingsAt.push_back(library.log.size());
                                    const std::uint32_t tick = ticks.front();
                                    ticks.pop_front();
                                    return tick;
                                },
                                [this] { forgottenAt.push_back(library.log.size()); }};
        return runWith(services, captured.reporter, args, input);
    }

    // Standard error after the banner; the banner's own form is checked on the way.
    std::string errAfterBanner() const {
        const std::string& err = captured.err();
        const std::string head = "\nKestrel V01.06.00cpp ";
        const std::string tail = " June 2005\n\n";
        const auto end = err.find(tail);
        EXPECT_EQ(err.rfind(head, 0), 0u) << err;
        EXPECT_NE(end, std::string::npos) << err;
        if (err.rfind(head, 0) != 0 || end == std::string::npos) {
            return err;
        }
        EXPECT_EQ(err.find('\n', head.size()), end + tail.size() - 2) << "one banner line";
        return err.substr(end + tail.size());
    }

    CapturedConsole captured;
    FakeLdapLibrary library;
    FakePasswordSetter passwords;
    std::deque<std::uint32_t> ticks{1000, 2234};
    std::vector<std::size_t> readingsAt;
    std::vector<std::size_t> forgottenAt;  // library calls made when the arguments were forgotten
};

TEST_F(DriverTest, TheTypicalRun) {
    EXPECT_EQ(run({"-b", kKim, "description::Hello"}), 0);
    EXPECT_EQ(captured.out(), heading(1) + "   DN: " + kKim + "...\n" + kSucceeded);
    EXPECT_EQ(errAfterBanner(), "");
    EXPECT_EQ(library.calls(),
              (Lines{
                  "init host=(none) port=(default)",
                  "time limit 120",
                  "option 0x11=3",
                  "bind negotiate",
                  "search base=[] scope=0 filter=(objectClass=*) attrs=[] size=0 controls=[]",
                  "modify [" + kKim + "] controls=[] mods=0x2 description [Hello]",
                  "result id=1 timeout=120",
                  "unbind",
              }));
    // The stopwatch covers only the operation: started after the RootDSE read.
    ASSERT_FALSE(readingsAt.empty());
    EXPECT_EQ(readingsAt.front(), 5u);
}

TEST_F(DriverTest, HostPortTimeLimitAndEncryptionReachTheSession) {
    EXPECT_EQ(run({"-h", "dc1:636", "-p", "1", "-kerbenc", "-t", "30", "-b", kKim, "title::x"}), 0);
    EXPECT_EQ(library.calls(),
              (Lines{
                  "init host=dc1 port=3268",
                  "time limit 30",
                  "option 0x11=3",
                  "option 0x96=1",
                  "bind negotiate",
                  "search base=[] scope=0 filter=(objectClass=*) attrs=[] size=0 controls=[]",
                  "modify [" + kKim + "] controls=[] mods=0x2 title [x]",
                  "result id=1 timeout=30",
                  "unbind",
              }));
}

TEST_F(DriverTest, AFailedBindEndsTheRun) {
    library.bindResult = kLdapLocalError;
    EXPECT_EQ(run({"-b", kKim, "description::Hello"}), -1);
    EXPECT_EQ(errAfterBanner(),
              "LDAP_BIND: [] Error 0x52 (82) - Local error\n"
              "Terminating program.\n");
    EXPECT_EQ(captured.out(), "DN Count: 1\n");
    EXPECT_EQ(library.count(Call::Kind::Search), 0u);
    EXPECT_TRUE(library.requests().empty());
    EXPECT_EQ(library.openHandles, 0);
}

TEST_F(DriverTest, NoHandleEndsTheRun) {
    library.initError = kLdapParamError;
    EXPECT_EQ(run({"-h", "dc1", "-b", kKim, "description::Hello"}), -1);
    EXPECT_EQ(errAfterBanner(),
              "LDAP_INIT: [dc1] Error 0x59 (89) - Bad parameter to an ldap routine\n"
              "Terminating program.\n");
}

TEST_F(DriverTest, AFailedRootDseReadClosesTheSessionAndEndsTheRun) {
    library.searchAnswers = {SearchAnswer{50, {}}};
    EXPECT_EQ(run({"-b", kKim, "description::Hello"}), -1);
    EXPECT_EQ(errAfterBanner(),
              "LDAP_SEARCH_S: 0x32\nLDAP_SEARCH_S: Insufficient access\n\n"
              "ERROR: Couldn't gather RootDSE Info...\n"
              "Terminating program.\n");
    EXPECT_EQ(captured.out(), "DN Count: 1\n");
    EXPECT_EQ(library.count(Call::Kind::Unbind), 1u);
    EXPECT_EQ(library.log.back().text(), "unbind");
    EXPECT_TRUE(library.requests().empty());
    EXPECT_TRUE(readingsAt.empty());
}

TEST_F(DriverTest, QuietModeStillExplainsAnEarlyEnd) {
    captured.reporter.quiet = true;
    library.bindResult = 49;
    EXPECT_EQ(run({"-q", "-h", "dc1", "-b", kKim, "description::Hello"}), -1);
    EXPECT_EQ(captured.err(),
              "LDAP_BIND: [dc1] Error 0x31 (49) - Invalid credentials\nTerminating program.\n");
    EXPECT_EQ(captured.out(), "");

    FakeLdapLibrary unreadable;
    unreadable.searchAnswers = {SearchAnswer{kLdapServerDown, {}}};
    CapturedConsole reporter;
    DriverServices services{unreadable, passwords, [] { return 0u; }, {}};
    const char* argv[] = {"kestrel", "-q", "-b", "cn=a", "title::x"};
    std::istringstream in;
    EXPECT_EQ(runKestrel(5, argv, in, reporter.reporter, services), -1);
    EXPECT_EQ(reporter.err(),
              "LDAP_SEARCH_S: 0x51\nLDAP_SEARCH_S: Can't contact LDAP server\n\n"
              "ERROR: Couldn't gather RootDSE Info...\nTerminating program.\n");
    EXPECT_EQ(reporter.out(), "");
    EXPECT_EQ(unreadable.openHandles, 0);
}

TEST_F(DriverTest, DebugLinesOfTheConnectionAndTheRootDse) {
    EXPECT_EQ(run({"-d", "-b", kKim, "description::Hello"}), 0);
    const std::string& out = captured.out();
    std::size_t at = 0;
    for (const std::string line :
         {"Opening TCP connection\n", "DEBUG: In OpenLDAP... Params:\n",
          "DEBUG: Gathering RootDSE\n", "Using server: dc1.homelab.net\nDEBUG: RootDSE Completed\n",
          "Modifying specified objects...\n"}) {
        const auto found = out.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << " in\n" << out;
        at = found + line.size();
    }
    EXPECT_EQ(errAfterBanner(),
              "LDAP_OPTION: Version 3\nLDAP_BIND: [ldap.default.test] Successful\n");
}

TEST_F(DriverTest, ElapsedLinesComeBeforeTheCompletionMessage) {
    EXPECT_EQ(run({"-elapsed", "-elapsedms", "-b", kKim, "description::Hello"}), 0);
    EXPECT_EQ(captured.out(), heading(1) + "   DN: " + kKim +
                                  "...\n"
                                  "\n"
                                  "Elapsed MS: 1234\n"
                                  "Time Elapsed (sec): 1.234\n" +
                                  std::string(kSucceeded));
    // Both figures come from one end tick, read after the last result.
    EXPECT_EQ(readingsAt, (std::vector<std::size_t>{5, 7}));
}

TEST_F(DriverTest, DebugShowsTheTicksOfEachReading) {
    EXPECT_EQ(run({"-d", "-elapsedms", "-elapsed", "-b", kKim, "description::Hello"}), 0);
    EXPECT_NE(captured.out().find("...\n\n"
                                  "Start: 1000\nEnd  : 2234\nDelta: 1234\n"
                                  "Elapsed MS: 1234\n"
                                  "Start: 1000\nEnd  : 2234\nDelta: 1234\n"
                                  "Time Elapsed (sec): 1.234\n" +
                                  std::string(kSucceeded)),
              std::string::npos)
        << captured.out();
}

TEST_F(DriverTest, SecondsInTheStreamsDefaultFormat) {
    struct Row {
        std::uint32_t start;
        std::uint32_t end;
        std::string ms;
        std::string seconds;
    };
    const std::vector<Row> rows = {
        {0, 0, "0", "0"},
        {0, 1000, "1000", "1"},
        {500, 2000, "1500", "1.5"},
        {0, 100, "100", "0.1"},
        {0, 1, "1", "0.001"},
        {0, 999999, "999999", "999.999"},
        {0, 12345678, "12345678", "12345.7"},
        {0, 123456789, "123456789", "123457"},
        {0, 4294967295u, "4294967295", "4.29497e+06"},
        // The counter wrapped: the largest value minus the start plus the end.
        {0xFFFFFF00u, 0x100u, "511", "0.511"},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        fresh.searchAnswers.push_back(SearchAnswer{0, {fake::rootDseEntry("dc1")}});
        CapturedConsole reporter;
        reporter.reporter.quiet = true;
        std::deque<std::uint32_t> rowTicks{row.start, row.end};
        DriverServices services{fresh,
                                passwords,
                                [&] {
                                    const std::uint32_t tick = rowTicks.front();
                                    rowTicks.pop_front();
                                    return tick;
                                },
                                {}};
        const char* argv[] = {"kestrel", "-q", "-elapsedms", "-elapsed", "-b", "cn=a", "title::x"};
        std::istringstream in;
        EXPECT_EQ(runKestrel(7, argv, in, reporter.reporter, services), 0);
        EXPECT_EQ(reporter.out(),
                  "\n\nElapsed MS: " + row.ms + "\nTime Elapsed (sec): " + row.seconds + "\n");
    }
}

TEST_F(DriverTest, AFailureEndsWithTheLastFailuresCode) {
    library.answerRequests({result(0), result(32), result(0)});
    EXPECT_EQ(run({"description::Hello"}, "cn=a\ncn=b\ncn=c\n"), 32);
    EXPECT_EQ(captured.both().substr(captured.both().find("DN Count")),
              heading(3) +
                  "   DN: cn=a...\n"
                  "   DN: cn=b...: [dc1.homelab.net] Error 0x20 (32) - No such object\n" +
                  std::string(kStop) + kFailed);
    EXPECT_EQ(library.requests().size(), 2u);
    EXPECT_EQ(library.count(Call::Kind::Unbind), 1u);
}

// The loop's own rules are proved on the loop; here only that -q, -exterr and -cont reach
// it, and that its last failure becomes the exit status.
TEST_F(DriverTest, TheLoopsSwitchesReachIt) {
    struct Row {
        std::vector<std::string> args;
        std::string input;
        std::vector<fake::RequestAnswer> answers;
        std::int32_t status;
        std::size_t sent;
        std::string out;
    };
    const std::string two = "cn=a\ncn=b\n";
    const std::string three = two + "cn=c\n";
    const fake::RequestAnswer nameErr = result(32, "0000208D: NameErr");
    const std::string exterr = "   Extended Error: 0000208D: NameErr\n";
    const std::string dns = "   DN: cn=a...   DN: cn=b...   DN: cn=c...\n";
    const std::vector<Row> rows{
        {{"-q"}, two, {}, 0, 2, "\n\n"},
        {{"-q", "-exterr"}, two, {nameErr, result(0)}, 32, 1, exterr + kStop},
        {{"-cont"}, three, {result(50), result(68), result(0)}, 68, 3, heading(3) + dns + kFailed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.back());
        FakeLdapLibrary fresh;
        fresh.searchAnswers.push_back(SearchAnswer{0, {fake::rootDseEntry("dc1.homelab.net")}});
        for (const auto& answer : row.answers) {
            fresh.answerRequests({answer});
        }
        CapturedConsole console;
        DriverServices services{fresh, passwords, [] { return 0u; }, {}};
        std::vector<std::string> args = row.args;
        args.push_back("description::Hello");
        EXPECT_EQ(runWith(services, console.reporter, args, row.input), row.status);
        EXPECT_EQ(fresh.requests().size(), row.sent);
        EXPECT_EQ(console.out(), row.out);
        EXPECT_EQ(console.err().empty(), row.args.front() == "-q");  // -q drops the banner
    }
}

// A DN and a server's texts are the directory's to choose: none of their control
// characters reaches the terminal raw, the DN's written so that it still names the object.
TEST_F(DriverTest, OutsideTextsReachTheTerminalEscaped) {
    const std::string dn = "CN=a\x1b[2J\t\xc2\x9b,DC=x";
    const std::string shown = "CN=a\\1B[2J\\09\\C2\\9B,DC=x";
    library.searchAnswers = {SearchAnswer{0, {fake::rootDseEntry("dc1\x1b[8m")}},
                             SearchAnswer{0, {LdapEntry{dn, {{"description", {"old"}}}}}}};
    library.answerRequests({result(kLdapServerDown, "gone\x1b[8m")});
    char pattern[] = "/tmp/kestrel-driver-test.XXXXXX";
    const std::string directory = mkdtemp(pattern);
    const std::string journal = directory + "/undo.ldif";
    run({"-exterr", "-undo", journal, "description::new"}, dn + "\n");
    std::remove(journal.c_str());
    rmdir(directory.c_str());
    EXPECT_EQ(library.requests().size(), 1u);
    EXPECT_EQ(captured.both().find('\x1b'), std::string::npos) << captured.both();
    for (const std::string& line :
         Lines{"Using server: dc1\\x1B[8m\n", "   DN: " + shown + "...", "WARN: " + shown + ": ",
               "   Extended Error: gone\\x1B[8m\n"}) {
        EXPECT_NE(captured.out().find(line), std::string::npos) << line;
    }
    EXPECT_NE(captured.err().find(": [dc1\\x1B[8m] Error 0x51"), std::string::npos);
}

// -json: standard output holds the result lines and the summary, nothing else; the human
// report moves to standard error whole; the status does not change.
TEST_F(DriverTest, JsonStandardOutputHoldsOnlyResultLines) {
    library.answerRequests({result(0), result(32, "0000208D: NameErr"), result(0)});
    EXPECT_EQ(run({"-JSON", "-exterr", "description::Hello"}, "cn=a\ncn=b\ncn=c\n"), 32);
    EXPECT_EQ(captured.out(),
              "{\"dn\":\"cn=a\",\"outcome\":\"done\",\"code\":0,\"text\":\"Success\","
              "\"server_text\":\"\"}\n"
              "{\"dn\":\"cn=b\",\"outcome\":\"failed\",\"code\":32,\"text\":\"No such object\","
              "\"server_text\":\"0000208D: NameErr\"}\n"
              "{\"targets\":3,\"done\":1,\"failed\":1,\"unknown\":0,\"not_sent\":1,"
              "\"exit_status\":32}\n");
    EXPECT_EQ(errAfterBanner(),
              heading(3) +
                  "   DN: cn=a...\n"
                  "   DN: cn=b...: [dc1.homelab.net] Error 0x20 (32) - No such object\n"
                  "   Extended Error: 0000208D: NameErr\n" +
                  std::string(kStop) + kFailed);
}

// Every run ends with the summary, also one refused before it connects; its exit status
// is the process's.
TEST_F(DriverTest, JsonSummaryEndsEveryRun) {
    struct Row {
        std::vector<std::string> args;
        std::string input;
        std::int32_t status;
        std::string summary;
        std::string errHas;
    };
    std::string eleven;
    for (int i = 0; i < 11; ++i) {
        eleven += "cn=t" + std::to_string(i) + "\n";
    }
    const std::vector<Row> rows{
        {{"-json", "-help"},
         "",
         1,
         R"({"targets":0,"done":0,"failed":0,"unknown":0,"not_sent":0,"exit_status":1})",
         "  Switches: (designated by - or /)\n"},
        {{"-json", "-q", "title::x"},
         eleven,
         -1,
         R"({"targets":11,"done":0,"failed":0,"unknown":0,"not_sent":11,"exit_status":255})",
         "More DNs than allowed for by safety setting of 10\n"},
        {{"-json", "-q", "title::x"},
         "",
         0,
         R"({"targets":0,"done":0,"failed":0,"unknown":0,"not_sent":0,"exit_status":0})",
         "No object DNs to update.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.back());
        FakeLdapLibrary fresh;
        CapturedConsole console;
        DriverServices services{fresh, passwords, [] { return 0u; }, {}};
        EXPECT_EQ(runWith(services, console.reporter, row.args, row.input), row.status);
        EXPECT_EQ(console.out(), row.summary + "\n");
        EXPECT_NE(console.err().find(row.errHas), std::string::npos) << console.err();
    }
}

TEST_F(DriverTest, OnlyAPasswordMakesNoLdapUpdates) {
    EXPECT_EQ(run({"-b", kKim, "#setpwd#::Secret1"}), 0);
    EXPECT_EQ(captured.out(), heading(1) + "   DN: " + kKim +
                                  "...  No LDAP updates to make.\n"
                                  "       Changing password...   Successful.\n" +
                                  std::string(kSucceeded));
    EXPECT_TRUE(library.requests().empty());
    EXPECT_EQ(passwords.requests,
              (std::vector<FakePasswordSetter::Request>{{"dc1.homelab.net", kKim, "Secret1"}}));
}

TEST_F(DriverTest, APasswordFailureIsTheExitStatus) {
    const auto policy = static_cast<std::int32_t>(0x800708C5u);
    passwords.statuses = {policy};
    EXPECT_EQ(run({"-b", kKim, "description::x", "#setpwd#::short"}), policy);
    EXPECT_EQ(library.requests().size(), 1u);
    EXPECT_NE(captured.out().find("       Changing password..." + std::string(kStop) + kFailed),
              std::string::npos)
        << captured.out();
}

TEST_F(DriverTest, TheRootDse) {
    EXPECT_EQ(run({"-rootdse", "schemaUpdateNow::1"}), 0);
    EXPECT_EQ(captured.out(), "Modifying ROOTDSE...\n" + heading(1) + "   DN: ROOTDSE...\n" +
                                  std::string(kSucceeded));
    EXPECT_EQ(library.requests(), Lines{"modify [] controls=[] mods=0x2 schemaupdatenow [1]"});
}

TEST_F(DriverTest, EachModeWithItsHeading) {
    struct Row {
        std::vector<std::string> args;
        std::string heading;
        std::string request;
    };
    const std::vector<Row> rows = {
        {{"-rm", "-b", "CN=a,DC=x"},
         "Deleting specified objects...\n   DN: CN=a,DC=x...\n",
         "delete [CN=a,DC=x] controls=[]"},
        {{"-del", "-treedelete", "-b", "OU=a,DC=x"},
         "Deleting specified objects...\n   DN: OU=a,DC=x...\n",
         "delete [OU=a,DC=x] controls=[1.2.840.113556.1.4.805 critical value=]"},
        {{"-move", "OU=Old,DC=x", "-b", "CN=a,DC=x"},
         "Moving specified objects to OU=Old,DC=x...\n   DN: CN=a,DC=x...\n",
         "rename [CN=a,DC=x] rdn=[CN=a] parent=[OU=Old,DC=x] deleteOld=1 controls=[]"},
        {{"-rename", "bob", "-b", "CN=a,OU=b,DC=x"},
         "Renaming CN=a,OU=b,DC=x to bob...\n\n",
         "rename [CN=a,OU=b,DC=x] rdn=[CN=bob] parent=[OU=b,DC=x] deleteOld=1 controls=[]"},
        {{"-undel", "OU=R,DC=x", "-b", "CN=a\\0ADEL:1,CN=Deleted Objects,DC=x"},
         "Undeleting specified objects...\n   DN: CN=a\\0ADEL:1,CN=Deleted Objects,DC=x...\n",
         "modify [CN=a\\0ADEL:1,CN=Deleted Objects,DC=x] controls=[1.2.840.113556.1.4.417 "
         "critical value=] mods=0x1 isdeleted (null); 0x2 distinguishedName [CN=a,OU=R,DC=x]"},
        {{"-add", "-b", "CN=new,DC=x", "objectClass::user"},
         "Adding specified objects...\n   DN: CN=new,DC=x...\n",
         "add [CN=new,DC=x] controls=[] mods=0x0 objectclass [user]"},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        fresh.searchAnswers.push_back(SearchAnswer{0, {fake::rootDseEntry("dc1")}});
        CapturedConsole reporter;
        std::deque<std::uint32_t> rowTicks{1, 2};
        DriverServices services{fresh,
                                passwords,
                                [&] {
                                    const std::uint32_t tick = rowTicks.front();
                                    rowTicks.pop_front();
                                    return tick;
                                },
                                {}};
        std::vector<const char*> argv{"kestrel"};
        for (const std::string& arg : row.args) {
            argv.push_back(arg.c_str());
        }
        std::istringstream in;
        EXPECT_EQ(
            runKestrel(static_cast<int>(argv.size()), argv.data(), in, reporter.reporter, services),
            0)
            << row.heading;
        // The heading, the target's outcome, then the completion message after its blank line.
        EXPECT_EQ(reporter.out(), "DN Count: 1\nUsing server: dc1\n" + row.heading + kSucceeded);
        EXPECT_EQ(fresh.requests(), Lines{row.request});
        EXPECT_EQ(fresh.count(Call::Kind::Unbind), 1u);
    }
}

// Whatever the operation or spelling, a modification carrying a password makes the session
// require a sealing layer (option 0x96) before the bind; other attributes leave it alone.
TEST_F(DriverTest, EveryPasswordModificationRequiresSealing) {
    struct Row {
        std::vector<std::string> actions;
        bool add;
        bool sealed;
    };
    const std::vector<Row> rows = {
        {{"unicodePwd::Secret-1"}, false, true},
        {{"unicodePwd:-:Old-1", "unicodePwd:+:New-1"}, false, true},
        {{"unicodePwd:--:a;b"}, false, true},
        {{"unicodePwd:-"}, false, true},
        {{"BIN##unicodePwd:-:2200"}, false, true},
        {{"unicoBIN##dePwd::2200"}, false, true},
        {{"unicodePwd;binary::Secret-1"}, false, true},
        {{" unicodePwd::Secret-1"}, false, true},
        {{"1.2.840.113556.1.4.90::Secret-1"}, false, true},
        {{"userPassword::Secret-1"}, false, true},
        {{"2.5.4.35::Secret-1"}, false, true},
        {{"#setpwd#:+:Secret-1"}, false, true},
        {{"#setpwd#::Secret-1"}, false, true},
        {{"objectClass::user", "unicodePwd::Secret-1"}, true, true},
        {{"description::x"}, false, false},
        {{"objectClass::user"}, true, false},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        fresh.searchAnswers.push_back(SearchAnswer{0, {fake::rootDseEntry("dc1.homelab.net")}});
        CapturedConsole reporter;
        DriverServices services{fresh, passwords, [] { return 0u; }, {}};
        std::vector<const char*> argv{"kestrel", "-q", "-b", "cn=a,dc=x"};
        if (row.add) {
            argv.push_back("-add");
        }
        for (const std::string& action : row.actions) {
            argv.push_back(action.c_str());
        }
        std::istringstream in;
        runKestrel(static_cast<int>(argv.size()), argv.data(), in, reporter.reporter, services);
        bool sealed = false;
        for (const Call& call : fresh.callsOf(Call::Kind::SetOption)) {
            sealed = sealed || call.text() == "option 0x96=1";
        }
        EXPECT_EQ(sealed, row.sealed) << row.actions.front();
    }
}

// A dry run binds and reads the RootDSE like a real one, then prints each request as LDIF
// and sends none; with -q only the records and the closing comment are written.
TEST_F(DriverTest, ADryRunPrintsTheRequestsAndSendsNone) {
    EXPECT_EQ(run({"-q", "-dryrun", "title::x"}, "cn=a,dc=x\ncn=b,dc=x\n"), 0);
    EXPECT_EQ(captured.out(),
              "dn: cn=a,dc=x\nchangetype: modify\nreplace: title\ntitle: x\n-\n\n\n"
              "dn: cn=b,dc=x\nchangetype: modify\nreplace: title\ntitle: x\n-\n\n\n"
              "# Dry run: no change was sent to the directory.\n");
    EXPECT_EQ(library.count(Call::Kind::Modify), 0u);
    EXPECT_EQ(library.count(Call::Kind::Result), 0u);
    EXPECT_EQ(library.count(Call::Kind::NegotiateBind), 1u);
    EXPECT_EQ(library.count(Call::Kind::Search), 1u);  // the RootDSE
    EXPECT_EQ(library.calls().back(), "unbind");
}

// Quiet, a preview is a file for ldapmodify: every line that is not a record is a comment,
// and no DN, however hostile, starts a line of its own.
TEST_F(DriverTest, AQuietDryRunWritesOnlyLdif) {
    const std::string hostile = "CN=Bob,DC=x\n\ndn: OU=Staff,DC=x\nchangetype: delete\n\n#";
    const char* nothingSent = "# Dry run: no change was sent to the directory.\n";
    struct Row {
        std::vector<std::string> args;
        std::string input;
        std::string out;
    };
    const std::vector<Row> rows{
        {{"-b", hostile, "#setpwd#::Secret-1"},
         "",
         "#   No LDAP updates to make.\n# CN=Bob,DC=x\n#\n# dn: OU=Staff,DC=x\n"
         "# changetype: delete\n#\n# #: a password would be set (#setpwd#); its value is not "
         "shown.\n"},
        {{"-rm"},
         "\"\"\ncn=a\\0D\r\x1b[2J\n",
         "# WARN: Skipped a standard input line that held only double quotes.\n"
         "dn:: Y249YVwwRA0bWzJK\nchangetype: delete\n\n\n"},
        {{"-rootdse", "schemaUpdateNow::1"},
         "",
         "# Modifying ROOTDSE...\ndn:\nchangetype: modify\nreplace: schemaupdatenow\n"
         "schemaupdatenow: 1\n-\n\n\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.out);
        CapturedConsole console;
        std::vector<std::string> args{"-q", "-dryrun"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        std::vector<const char*> argv{"kestrel"};
        for (const std::string& arg : args) {
            argv.push_back(arg.c_str());
        }
        FakeLdapLibrary fresh;
        fresh.searchAnswers.push_back(SearchAnswer{0, {fake::rootDseEntry("dc1")}});
        std::istringstream in(row.input);
        DriverServices services{fresh, passwords, [] { return 0u; }, {}};
        EXPECT_EQ(
            runKestrel(static_cast<int>(argv.size()), argv.data(), in, console.reporter, services),
            0);
        EXPECT_EQ(console.out(), row.out + nothingSent);
        EXPECT_EQ(fresh.requests(), Lines{});
    }
}

TEST_F(DriverTest, ADryRunRefusesWhatARealRunRefuses) {
    EXPECT_EQ(run({"-q", "-dryrun", "-move", "ou=b,dc=x"}, "notadn\n"), 0x22);
    // Quiet, the preview is LDIF only: the stop message is a comment.
    EXPECT_EQ(captured.out(),
              "# ERROR: Too many errors encountered, terminating...\n"
              "# Dry run: no change was sent to the directory.\n");
    EXPECT_EQ(library.count(Call::Kind::Rename), 0u);
}

TEST_F(DriverTest, AnEmptyNewParentIsRefusedBeforeConnecting) {
    EXPECT_EQ(run({"-q", "-move", "", "-b", kKim}), -1);
    EXPECT_EQ(captured.out(), "ERROR: -move needs the DN of the new parent. Nothing was sent.\n");
    EXPECT_TRUE(library.log.empty());
}

// The caller's copy of the arguments is forgotten as soon as the switch table holds its
// own, before anything is read or sent.
TEST_F(DriverTest, TheArgumentsAreForgottenBeforeAnythingIsSent) {
    EXPECT_EQ(run({"-q", "-b", kKim, "unicodePwd::Secret-1"}), 0);
    EXPECT_EQ(forgottenAt, (std::vector<std::size_t>{0}));
}

// A record that writes a password seals the session and keeps the process out of core
// dumps, as a password on the command line does.
TEST_F(DriverTest, ARecordWritingAPasswordIsSentSealed) {
    struct Row {
        std::string record;
        std::vector<std::string> args;
        bool sealed;
    };
    const std::vector<Row> rows = {
        {"dn: CN=a,DC=x\nchangetype: modify\nreplace: unicodePwd\nunicodePwd:: IgBhACIA\n-\n",
         {},
         true},
        {"dn: CN=a,DC=x\nchangetype: modify\ndelete: 2.5.4.35\n-\n", {}, true},
        {"dn: CN=a,DC=x\nobjectClass: user\nuserPassword: x\n", {"-add"}, true},
        {"dn: CN=a,DC=x\nchangetype: modify\nreplace: description\ndescription: x\n-\n", {}, false},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        fresh.searchAnswers.push_back(SearchAnswer{0, {fake::rootDseEntry("dc1")}});
        CapturedConsole reporter;
        int protectedRuns = 0;
        DriverServices services{fresh,   passwords, [] { return 0u; },       {},
                                nullptr, nullptr,   [&] { ++protectedRuns; }};
        std::vector<const char*> argv{"kestrel", "-q", "-f", "-"};
        for (const std::string& arg : row.args) {
            argv.push_back(arg.c_str());
        }
        std::istringstream in(row.record);
        EXPECT_EQ(
            runKestrel(static_cast<int>(argv.size()), argv.data(), in, reporter.reporter, services),
            0)
            << reporter.out();
        bool sealed = false;
        for (const Call& call : fresh.callsOf(Call::Kind::SetOption)) {
            sealed = sealed || call.text() == "option 0x96=1";
        }
        EXPECT_EQ(sealed, row.sealed) << row.record;
        EXPECT_EQ(protectedRuns, row.sealed ? 1 : 0) << row.record;
    }
}

TEST_F(DriverTest, APermissivePreviewShowsTheControl) {
    EXPECT_EQ(run({"-q", "-dryrun", "-permissive", "-b", kKim, "member:+:cn=b"}), 0);
    EXPECT_NE(captured.out().find("control: 1.2.840.113556.1.4.1413 false\nchangetype: modify\n"),
              std::string::npos);
}

TEST_F(DriverTest, LocalRefusalsNeverConnect) {
    struct Row {
        std::vector<std::string> args;
        std::string input;
        std::int32_t status;
    };
    std::string eleven;
    for (int i = 0; i < 11; ++i) {
        eleven += "cn=t" + std::to_string(i) + "\n";
    }
    const std::vector<Row> rows = {
        {{}, "", 1},
        {{"-q"}, "", 1},
        {{"-nosuchswitch", "-b", kKim, "title::x"}, "", 1},
        {{"-b", kKim, "title"}, "", 1},
        {{"-b", kKim, "SID##objectSid:++:S-1-nope"}, "", 1337},
        {{"title::x"}, "", 0},
        {{"title::x"}, eleven, -1},
        {{"-rename", "bob", "-safety", "5"}, "cn=a\ncn=b\n", -1},
        {{"-f", "-", "-safety", "1"},
         "dn: cn=a\nchangetype: delete\n\ndn: cn=b\nchangetype: delete\n",
         -1},
        {{"-f", "-"}, "dn: cn=a\nobjectClass: top\n", -1},
        {{"-f", "-"}, "", 0},
        {{"-f", "-", "-b", kKim}, "", -1},
        {{"-revert", "x.undo", "-f", "-"}, "", -1},
        {{"-permissive", "-rm", "-b", kKim}, "", -1},  // modifies only, and not a journal's
        {{"-permissive", "-add", "-b", kKim, "objectClass::user"}, "", -1},
        {{"-permissive", "-b", kKim, "userAccountControl:setbits:2"}, "", -1},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        CapturedConsole reporter;
        DriverServices services{fresh, passwords, [] { return 0u; }, {}};
        EXPECT_EQ(runWith(services, reporter.reporter, row.args, row.input), row.status)
            << (row.args.empty() ? "(no arguments)" : row.args.front());
        EXPECT_TRUE(fresh.log.empty());
    }
}

TEST_F(DriverTest, EachCsvRowIsOneRequestWithItsOwnValuesAndPassword) {
    const std::string csv =
        "\xEF\xBB\xBF"
        "DN;description;otherTelephone:++;#setpwd#\r\n"
        "cn=a;\"x;y\";\"1;2\";P1\r\n"
        "cn=b\r\n"
        "cn=c;;3;\r\n";
    EXPECT_EQ(run({"-csv", "-", "title::T"}, csv), 0);
    EXPECT_EQ(library.requests(),
              (Lines{"modify [cn=a] controls=[] mods=0x2 description [x;y]; 0x2 title [T]; "
                     "0x0 othertelephone [1|2]",
                     "modify [cn=b] controls=[] mods=0x2 title [T]",
                     "modify [cn=c] controls=[] mods=0x2 title [T]; 0x0 othertelephone [3]"}));
    EXPECT_EQ(passwords.requests,
              (std::vector<FakePasswordSetter::Request>{{"dc1.homelab.net", "cn=a", "P1"}}));
    const Lines calls = library.calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "option 0x96=1"), calls.end()) << "sealed";
}

TEST_F(DriverTest, ACsvRowWithNothingToChangeIsSkipped) {
    EXPECT_EQ(run({"-csv", "-", "-add", "-window", "2"}, "dn,cn\ncn=a,a\ncn=b\n"), 0);
    EXPECT_EQ(library.requests(), (Lines{"add [cn=a] controls=[] mods=0x0 cn [a]"}));
    EXPECT_NE(captured.out().find("WARN: standard input, row 3: nothing to change besides the "
                                  "DN; the row is skipped.\nDN Count: 1\n"),
              std::string::npos)
        << captured.out();
}

TEST_F(DriverTest, CsvRefusalsNameTheRowAndColumn) {
    struct Row {
        std::vector<std::string> args;
        std::string input;
        std::string error;
    };
    std::string eleven = "dn,title\n";
    for (int i = 0; i < 11; ++i) {
        eleven += "cn=t" + std::to_string(i) + ",x\n";
    }
    const std::vector<Row> rows = {
        {{"-csv"}, "", "ERROR: -csv needs the name of a CSV file"},
        {{"-csv", "-", "-b", kKim}, "", "it cannot be combined with -b."},
        {{"-csv", "-", "-f", "-"}, "", "it cannot be combined with -f."},
        {{"-csv", "-", "-undel", ""}, "", "it cannot be combined with -undel."},
        {{"-csv", "/nonexistent/x.csv"}, "", "Cannot read the CSV file /nonexistent/x.csv: No"},
        {{"-csv", "-"}, "description\nx\n", "standard input, row 1: no column is named dn"},
        {{"-csv", "-"},
         "dn;a\x1B;A\x1B\n",
         "row 1, column 3 (A\\x1B): the header repeats column 2"},
        {{"-csv", "-"}, "dn;description::x\n", "row 1, column 2 (description::x): a header cell"},
        {{"-csv", "-"}, "dn;a\ncn=a;x;y\n", "row 2, column 3: the row has 3 cells, the header 2"},
        {{"-csv", "-"}, "dn;a\ncn=a;\"x\n", "row 2, column 2: a quoted cell is not closed"},
        {{"-csv", "-"}, "dn;a\n;x\n", "row 2, column 1 (dn): the DN is empty"},
        {{"-csv", "-"},
         "dn;a:x\ncn=a;v\x1B\n",
         "row 2, column 2 (a:x): the cell makes no valid attribute-action. Nothing was "
         "sent.\nERROR: Issue with attrib parameter - [a:x:v\\x1B]\n"},
        {{"-csv", "-"}, "dn;a:x;b\ncn=a;;v\n", "row 1, column 2 (a:x): the header cell is no"},
        {{"-csv", "-", "-add"}, "dn;unicodePwd\ncn=a;\xFF\n", "row 2, column 2: the cell is not"},
        {{"-csv", "-"}, eleven, "More DNs than allowed for by safety setting of 10"},
        {{"-csv", "-"}, "dn,uac:setbits\ncn=a,2\n", "row 2: setbits and clearbits go on the"},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        CapturedConsole reporter;
        DriverServices services{fresh, passwords, [] { return 0u; }, {}};
        EXPECT_EQ(runWith(services, reporter.reporter, row.args, row.input), -1) << row.input;
        EXPECT_NE(reporter.out().find(row.error), std::string::npos) << reporter.out();
        EXPECT_TRUE(fresh.log.empty());
    }
}

}  // namespace
}  // namespace kestrel
