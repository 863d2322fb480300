#include "ops/process_targets.h"

#include <gtest/gtest.h>

#include <cstdint>
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
using Lines = std::vector<std::string>;
using run_texts::kStop;

constexpr const char* kNoSuchObject = ": [dc1.homelab.net] Error 0x20 (32) - No such object\n";

// Each target's request is a delete, so its outcome comes from the fake's script.
RequestStep deleteOn(LdapSession& session) {
    return [&session](const std::string& dn) {
        RequestOutcome outcome;
        outcome.sendCode = session.handle->sendDelete(dn, {}, outcome.messageId);
        return outcome;
    };
}

// A target the step answers without a request.
RequestOutcome notSent(RequestOutcome::Kind kind, std::int32_t status = 0) {
    RequestOutcome outcome;
    outcome.kind = kind;
    outcome.status = status;
    return outcome;
}

class ProcessTargetsTest : public ::testing::Test {
  protected:
    RunContext context() {
        return RunContext{captured.reporter, settings, session,
                          "dc1.homelab.net", results,  &passwords};
    }

    RequestStep deleteStep() { return deleteOn(session); }

    RunContext run(const DnList& targets, const LoopVariant& variant = {},
                   const PasswordRequest& password = {}) {
        RunContext context = this->context();
        end = processTargets(context, targets, variant, deleteStep(), password);
        return context;
    }

    LoopEnd end = LoopEnd::Completed;  // how the last run() ended

    CapturedConsole captured;
    RunSettings settings;
    ResultLines results;
    FakeLdapLibrary library;
    LdapSession session = library.session();
    FakePasswordSetter passwords;
};

TEST_F(ProcessTargetsTest, AllSucceed) {
    const RunContext done = run({"cn=a", "cn=b"});
    EXPECT_EQ(captured.out(), "   DN: cn=a...\n   DN: cn=b...\n");
    EXPECT_EQ(captured.err(), "");
    EXPECT_EQ(done.lastError, 0);
    EXPECT_EQ(end, LoopEnd::Completed);
    EXPECT_EQ(library.calls(), (Lines{"delete [cn=a] controls=[]", "result id=1 timeout=120",
                                      "delete [cn=b] controls=[]", "result id=2 timeout=120"}));
    EXPECT_EQ(library.maxOutstanding, 1);
}

TEST_F(ProcessTargetsTest, TheSecondOfThreeFailsWithoutCont) {
    library.answerRequests({result(0), result(32, "0000208D: NameErr"), result(0)});
    const RunContext done = run({"cn=a", "cn=b", "cn=c"});
    EXPECT_EQ(captured.both(),
              std::string("   DN: cn=a...\n   DN: cn=b...") + kNoSuchObject + kStop);
    EXPECT_EQ(captured.err(), kNoSuchObject);
    EXPECT_EQ(done.lastError, 32);
    EXPECT_EQ(end, LoopEnd::Stopped);
    EXPECT_EQ(library.requests(),
              (Lines{"delete [cn=a] controls=[]", "delete [cn=b] controls=[]"}));
}

TEST_F(ProcessTargetsTest, TheSecondOfThreeFailsWithCont) {
    settings.continueOnError = true;
    library.answerRequests({result(0), result(32), result(0)});
    const RunContext done = run({"cn=a", "cn=b", "cn=c"});
    EXPECT_EQ(captured.both(),
              std::string("   DN: cn=a...\n   DN: cn=b...") + kNoSuchObject + "   DN: cn=c...\n");
    EXPECT_EQ(done.lastError, 32);
    EXPECT_EQ(end, LoopEnd::Completed);
    EXPECT_EQ(library.requests().size(), 3u);
}

TEST_F(ProcessTargetsTest, LastErrorIsTheLatestFailure) {
    struct Row {
        std::vector<int> codes;
        bool cont;
        std::int32_t lastError;
        std::size_t sent;
    };
    const std::vector<Row> rows = {
        {{0, 0, 0}, false, 0, 3},  {{50, 0, 68}, true, 68, 3},  {{50, 68, 0}, true, 68, 3},
        {{68, 0, 0}, true, 68, 3}, {{50, 68, 0}, false, 50, 1}, {{0, 0, 53}, false, 53, 3},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        LdapSession freshSession = fresh.session();
        CapturedConsole reporter;
        RunSettings rowSettings;
        rowSettings.continueOnError = row.cont;
        for (const int code : row.codes) {
            fresh.answerRequests({result(code)});
        }
        RunContext context{reporter.reporter, rowSettings, freshSession, "dc1", results, nullptr};
        processTargets(context, {"cn=a", "cn=b", "cn=c"}, LoopVariant{}, deleteOn(freshSession));
        EXPECT_EQ(context.lastError, row.lastError);
        EXPECT_EQ(fresh.requests().size(), row.sent);
    }
}

TEST_F(ProcessTargetsTest, ExtendedErrorLine) {
    struct Row {
        bool exterr;
        bool quiet;
        std::string serverText;
        std::string out;
        std::string err;
    };
    const std::string text = "0000208D: NameErr: DSID-03100241, problem 2001 (NO_OBJECT)";
    const std::vector<Row> rows = {
        {true, false, text, "   DN: cn=a...   Extended Error: " + text + "\n" + kStop,
         kNoSuchObject},
        {true, false, "", std::string("   DN: cn=a...") + kStop, kNoSuchObject},
        {false, false, text, std::string("   DN: cn=a...") + kStop, kNoSuchObject},
        {true, true, text, "   Extended Error: " + text + "\n" + kStop, ""},
        {true, true, "", kStop, ""},
        {false, true, text, kStop, ""},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary fresh;
        LdapSession freshSession = fresh.session();
        CapturedConsole reporter;
        reporter.reporter.quiet = row.quiet;
        RunSettings rowSettings;
        rowSettings.showExtendedError = row.exterr;
        fresh.answerRequests({result(32, row.serverText)});
        RunContext context{reporter.reporter, rowSettings, freshSession,
                           "dc1.homelab.net", results,     nullptr};
        processTargets(context, {"cn=a", "cn=b"}, LoopVariant{}, deleteOn(freshSession));
        EXPECT_EQ(reporter.out(), row.out) << row.exterr << row.quiet << row.serverText;
        EXPECT_EQ(reporter.err(), row.err) << row.exterr << row.quiet << row.serverText;
        EXPECT_EQ(context.lastError, 32);
    }
}

TEST_F(ProcessTargetsTest, QuietSuccessesPrintOneEmptyLineEach) {
    captured.reporter.quiet = true;
    const RunContext done = run({"cn=a", "cn=b"});
    EXPECT_EQ(captured.out(), "\n\n");
    EXPECT_EQ(captured.err(), "");
    EXPECT_EQ(done.lastError, 0);
}

TEST_F(ProcessTargetsTest, ASendFailureIsNotAwaited) {
    library.answerRequests({fake::sendFailure(kLdapServerDown)});
    const RunContext done = run({"cn=a", "cn=b"});
    EXPECT_EQ(captured.both(),
              std::string("   DN: cn=a...: [dc1.homelab.net] Error 0x51 (81) - Can't contact LDAP "
                          "server\n") +
                  kStop);
    EXPECT_EQ(library.count(Call::Kind::Result), 0u);
    EXPECT_EQ(done.lastError, kLdapServerDown);
}

TEST_F(ProcessTargetsTest, MessageNumberZeroMeansNothingToAwait) {
    library.answerRequests({fake::sentAsMessage(0)});
    const RunContext done = run({"cn=a"});
    EXPECT_EQ(captured.out(), "   DN: cn=a...\n");
    EXPECT_EQ(library.count(Call::Kind::Result), 0u);
    EXPECT_EQ(done.lastError, 0);
}

TEST_F(ProcessTargetsTest, WaitsWithTheRunsTimeLimit) {
    settings.timeoutSeconds = 7;
    settings.showExtendedError = true;
    library.answerRequests({fake::noAnswerInTime()});
    const RunContext done = run({"cn=a"});
    EXPECT_EQ(library.calls().back(), "result id=1 timeout=7");
    EXPECT_EQ(captured.err(), ": [dc1.homelab.net] Error 0x55 (85) - Timed out\n");
    EXPECT_EQ(captured.out(), std::string("   DN: cn=a...") + kStop);
    EXPECT_EQ(done.lastError, kLdapTimeout);
}

TEST_F(ProcessTargetsTest, EmptyDnShowsAsRootDseOnlyWhereTheModeSaysSo) {
    LoopVariant modify;
    modify.emptyDnAsRootDse = true;
    run({""}, modify);
    EXPECT_EQ(captured.out(), "   DN: ROOTDSE...\n");
    EXPECT_EQ(library.requests(), Lines{"delete [] controls=[]"});

    CapturedConsole other;
    RunContext context{other.reporter, settings, session, "dc1", results, nullptr};
    processTargets(context, {""}, LoopVariant{}, deleteStep());
    EXPECT_EQ(other.out(), "   DN: ...\n");
}

TEST_F(ProcessTargetsTest, MoveStopMessageFollowsTheErrorLineDirectly) {
    LoopVariant move;
    move.stopMessage = kMoveStopMessage;
    library.answerRequests({result(68, "00002071: UpdErr")});
    run({"cn=a", "cn=b"}, move);
    EXPECT_EQ(captured.both(),
              "   DN: cn=a...: [dc1.homelab.net] Error 0x44 (68) - Already exists\n"
              "ERROR: Too many errors encountered, terminating...\n");

    CapturedConsole withText;
    settings.showExtendedError = true;
    FakeLdapLibrary fresh;
    LdapSession freshSession = fresh.session();
    fresh.answerRequests({result(68, "00002071: UpdErr")});
    RunContext context{withText.reporter, settings, freshSession,
                       "dc1.homelab.net", results,  nullptr};
    processTargets(context, {"cn=a", "cn=b"}, move, deleteOn(freshSession));
    EXPECT_EQ(withText.both(),
              "   DN: cn=a...: [dc1.homelab.net] Error 0x44 (68) - Already exists\n"
              "   Extended Error: 00002071: UpdErr\n"
              "ERROR: Too many errors encountered, terminating...\n");
}

TEST_F(ProcessTargetsTest, WithoutProgressLineOnlyTheOutcomeIsWritten) {
    LoopVariant rename;
    rename.progressLine = false;
    rename.stopMessage = "";
    run({"cn=a"}, rename);
    EXPECT_EQ(captured.out(), "\n");

    CapturedConsole failing;
    library.answerRequests({result(68)});
    RunContext context{failing.reporter, settings, session, "dc1", results, nullptr};
    processTargets(context, {"cn=a"}, rename, deleteStep());
    EXPECT_EQ(failing.both(), ": [dc1] Error 0x44 (68) - Already exists\n");
    EXPECT_EQ(context.lastError, 68);
}

TEST_F(ProcessTargetsTest, ASkipSetsMinusOneAndNeverStops) {
    RunContext context = this->context();
    end = processTargets(context, {"cn=a", "cn=skip", "cn=c"}, LoopVariant{},
                         [&](const std::string& dn) {
                             if (dn == "cn=skip") {
                                 captured.reporter.info("<skipped>\n");
                                 return notSent(RequestOutcome::Kind::Skipped);
                             }
                             return deleteStep()(dn);
                         });
    EXPECT_EQ(captured.out(), "   DN: cn=a...\n   DN: cn=skip...<skipped>\n   DN: cn=c...\n");
    EXPECT_EQ(context.lastError, -1);  // the later success does not clear it
    EXPECT_EQ(end, LoopEnd::Completed);
    EXPECT_EQ(library.requests().size(), 2u);
}

TEST_F(ProcessTargetsTest, ALaterFailureReplacesASkip) {
    settings.continueOnError = true;
    library.answerRequests({result(50)});
    RunContext context = this->context();
    processTargets(context, {"cn=skip", "cn=b"}, LoopVariant{}, [&](const std::string& dn) {
        if (dn == "cn=skip") {
            return notSent(RequestOutcome::Kind::Skipped);
        }
        return deleteStep()(dn);
    });
    EXPECT_EQ(context.lastError, 50);
}

TEST_F(ProcessTargetsTest, ARefusedTargetCountsAsAFailure) {
    for (const bool cont : {false, true}) {
        CapturedConsole reporter;
        RunSettings rowSettings;
        rowSettings.continueOnError = cont;
        RunContext context{reporter.reporter, rowSettings, session, "dc1", results, nullptr};
        int sent = 0;
        processTargets(context, {"bad", "cn=b"}, LoopVariant{}, [&](const std::string& dn) {
            if (dn == "bad") {
                return notSent(RequestOutcome::Kind::Refused, 34);
            }
            ++sent;
            return deleteStep()(dn);
        });
        EXPECT_EQ(context.lastError, 34);
        EXPECT_EQ(sent, cont ? 1 : 0);
        EXPECT_EQ(reporter.out(),
                  cont ? "   DN: bad...   DN: cn=b...\n" : std::string("   DN: bad...") + kStop);
        EXPECT_EQ(reporter.err(), "");
    }
}

TEST_F(ProcessTargetsTest, NoRequestWritesNothingOfTheLoopsOwn) {
    RunContext context = this->context();
    processTargets(context, {"cn=a"}, LoopVariant{},
                   [](const std::string&) { return notSent(RequestOutcome::Kind::NoRequest); });
    EXPECT_EQ(captured.out(), "   DN: cn=a...");
    EXPECT_EQ(context.lastError, 0);
}

TEST_F(ProcessTargetsTest, PasswordStepFollowsASuccessfulRequest) {
    const RunContext done = run({"cn=a", "cn=b"}, {}, PasswordRequest{true, "Secret1"});
    EXPECT_EQ(captured.out(),
              "   DN: cn=a...\n       Changing password...   Successful.\n"
              "   DN: cn=b...\n       Changing password...   Successful.\n");
    EXPECT_EQ(passwords.requests,
              (std::vector<FakePasswordSetter::Request>{{"dc1.homelab.net", "cn=a", "Secret1"},
                                                        {"dc1.homelab.net", "cn=b", "Secret1"}}));
    EXPECT_EQ(done.lastError, 0);
}

TEST_F(ProcessTargetsTest, APasswordFailureStopsWithoutCont) {
    const auto policy = static_cast<std::int32_t>(0x800708C5u);
    passwords.statuses = {policy};
    const RunContext done = run({"cn=a", "cn=b"}, {}, PasswordRequest{true, "short"});
    EXPECT_EQ(captured.both(),
              std::string("   DN: cn=a...\n       Changing password...<password error>") + kStop);
    EXPECT_EQ(done.lastError, policy);
    EXPECT_EQ(end, LoopEnd::Stopped);
    EXPECT_EQ(library.requests().size(), 1u);
    EXPECT_EQ(passwords.requests.size(), 1u);
}

TEST_F(ProcessTargetsTest, APasswordFailureWithContGoesOn) {
    settings.continueOnError = true;
    const auto denied = static_cast<std::int32_t>(0x80070005u);
    passwords.statuses = {denied, 0};
    const RunContext done = run({"cn=a", "cn=b"}, {}, PasswordRequest{true, "pw"});
    EXPECT_EQ(captured.out(),
              "   DN: cn=a...\n       Changing password..."
              "   DN: cn=b...\n       Changing password...   Successful.\n");
    EXPECT_EQ(done.lastError, denied);
    EXPECT_EQ(passwords.requests.size(), 2u);
}

TEST_F(ProcessTargetsTest, NoPasswordAfterAFailedRequestWithoutCont) {
    library.answerRequests({result(50)});
    const RunContext done = run({"cn=a", "cn=b"}, {}, PasswordRequest{true, "pw"});
    EXPECT_TRUE(passwords.requests.empty());
    EXPECT_EQ(done.lastError, 50);
}

// A stopping run drains its window: each target already sent whose request succeeded gets
// its password step, so every target shown is done or shown as failed; the stop follows.
TEST_F(ProcessTargetsTest, ADrainingRunStillSetsThePasswordsOfWhatItSent) {
    settings.window = 3;
    library.answerRequests({result(32), result(0), result(0)});
    const RunContext done =
        run({"cn=a,dc=x", "cn=b,dc=x", "cn=c,dc=x", "cn=d,dc=x"}, {}, PasswordRequest{true, "pw"});
    EXPECT_EQ(captured.both(),
              "   DN: cn=a,dc=x..." + std::string(kNoSuchObject) +
                  "   DN: cn=b,dc=x...\n       Changing password...   Successful.\n"
                  "   DN: cn=c,dc=x...\n       Changing password...   Successful.\n" +
                  kStop);
    EXPECT_EQ(passwords.requests.size(), 2u);
    EXPECT_EQ(library.requests().size(), 3u);
    EXPECT_EQ(done.lastError, 32);
}

// In add mode a failed add created nothing (often: the account exists already), so its
// password must not be set: that would reset an existing account's password.
TEST_F(ProcessTargetsTest, AddModeSetsNoPasswordForAFailedAddEvenWithCont) {
    settings.continueOnError = true;
    LoopVariant add;
    add.passwordOnlyAfterSuccess = true;
    library.answerRequests({result(68), result(0)});
    const RunContext done = run({"cn=exists", "cn=new"}, add, PasswordRequest{true, "pw"});
    EXPECT_EQ(captured.both(),
              "   DN: cn=exists...: [dc1.homelab.net] Error 0x44 (68) - Already exists\n"
              "   DN: cn=new...\n       Changing password...   Successful.\n");
    EXPECT_EQ(
        passwords.requests,
        (std::vector<fake::FakePasswordSetter::Request>{{"dc1.homelab.net", "cn=new", "pw"}}));
    EXPECT_EQ(done.lastError, 68);
}

TEST_F(ProcessTargetsTest, WithContASuccessfulPasswordKeepsTheLdapFailure) {
    settings.continueOnError = true;
    library.answerRequests({result(50), result(0)});
    const RunContext done = run({"cn=a", "cn=b"}, {}, PasswordRequest{true, "pw"});
    EXPECT_EQ(captured.both(),
              "   DN: cn=a...: [dc1.homelab.net] Error 0x32 (50) - Insufficient access\n"
              "       Changing password...   Successful.\n"
              "   DN: cn=b...\n       Changing password...   Successful.\n");
    EXPECT_EQ(done.lastError, 50);
    EXPECT_EQ(passwords.requests.size(), 2u);
}

// -json: one line per reported target on standard output, in input order; the loop's
// human lines go to standard error, -q deciding as ever.
TEST_F(ProcessTargetsTest, JsonLinePerTarget) {
    const auto policy = static_cast<std::int32_t>(0x800708C5u);
    const std::string policyText =
        "The password does not meet the password policy requirements. Check the minimum "
        "password length, password complexity and password history requirements.";
    struct Row {
        const char* name;
        fake::RequestAnswer answer;
        std::int32_t passwordStatus;
        std::string line;
    };
    const std::vector<Row> rows{
        {"done", result(0), 0,
         R"({"dn":"cn=a","outcome":"done","code":0,"text":"Success","server_text":""})"},
        {"refused by the server", result(32, "0000208D: NameErr: \"x\""), 0,
         R"({"dn":"cn=a","outcome":"failed","code":32,"text":"No such object",)"
         R"("server_text":"0000208D: NameErr: \"x\""})"},
        {"no answer in time", fake::noAnswerInTime(), 0,
         R"({"dn":"cn=a","outcome":"unknown","code":85,"text":"Timed out","server_text":""})"},
        {"connection lost after the send", result(kLdapServerDown), 0,
         R"({"dn":"cn=a","outcome":"unknown","code":81,)"
         R"("text":"Can't contact LDAP server","server_text":""})"},
        {"not sent: the send failed", fake::sendFailure(kLdapServerDown), 0,
         R"({"dn":"cn=a","outcome":"failed","code":81,)"
         R"("text":"Can't contact LDAP server","server_text":""})"},
        {"the password step failed", result(0), policy,
         R"({"dn":"cn=a","outcome":"failed","code":-2147022651,"text":")" + policyText +
             R"(","server_text":""})"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeLdapLibrary fresh;
        LdapSession freshSession = fresh.session();
        fresh.answerRequests({row.answer});
        FakePasswordSetter setter;
        setter.statuses = {row.passwordStatus};
        CapturedConsole console;
        console.reporter.json = true;
        RunContext context{console.reporter,  settings, freshSession,
                           "dc1.homelab.net", results,  &setter};
        processTargets(context, {"cn=a"}, LoopVariant{}, deleteOn(freshSession),
                       PasswordRequest{row.passwordStatus != 0, "pw"});
        EXPECT_EQ(console.out(), row.line + "\n");
        EXPECT_EQ(console.err().rfind("   DN: cn=a...", 0), 0u) << console.err();
    }
}

TEST_F(ProcessTargetsTest, JsonLinesInInputOrderAlsoWhenQuiet) {
    captured.reporter.json = true;
    captured.reporter.quiet = true;
    settings.continueOnError = true;
    settings.window = 3;
    library.answerRequests({result(0), result(50)});
    RunContext context = this->context();
    processTargets(context, {"cn=skip", "bad", "cn=a", "cn=b"}, LoopVariant{},
                   [&](const std::string& dn) {
                       if (dn == "cn=skip") {
                           return notSent(RequestOutcome::Kind::Skipped);
                       }
                       if (dn == "bad") {
                           return notSent(RequestOutcome::Kind::Refused, 34);
                       }
                       return deleteStep()(dn);
                   });
    EXPECT_EQ(captured.out(),
              "{\"dn\":\"cn=skip\",\"outcome\":\"failed\",\"code\":-1,"
              "\"text\":\"Skipped, nothing was sent\",\"server_text\":\"\"}\n"
              "{\"dn\":\"bad\",\"outcome\":\"failed\",\"code\":34,"
              "\"text\":\"Invalid DN syntax\",\"server_text\":\"\"}\n"
              "{\"dn\":\"cn=a\",\"outcome\":\"done\",\"code\":0,"
              "\"text\":\"Success\",\"server_text\":\"\"}\n"
              "{\"dn\":\"cn=b\",\"outcome\":\"failed\",\"code\":50,"
              "\"text\":\"Insufficient access\",\"server_text\":\"\"}\n");
    // What -q keeps, the empty line of each success, is on standard error.
    EXPECT_EQ(captured.err(), "\n");
    EXPECT_EQ(context.lastError, 50);
}

}  // namespace
}  // namespace kestrel

namespace kestrel {
namespace {

// With a window the requests go out ahead of their reports, yet the report is the one a run
// without a window gives: same lines, same order, same stop.
class WindowedTargetsTest : public ProcessTargetsTest {
  protected:
    // The same run one at a time and with `window`, from the same script of answers.
    std::pair<std::string, std::int32_t> runWith(int window, const DnList& targets,
                                                 std::vector<fake::RequestAnswer> answers,
                                                 bool cont = false) {
        FakeLdapLibrary fresh;
        fresh.overlapResult = overlap;
        for (const auto& answer : answers) {
            fresh.answerRequests({answer});
        }
        CapturedConsole console;
        RunSettings windowed = settings;
        windowed.window = window;
        windowed.continueOnError = cont;
        LdapSession freshSession = fresh.session();
        RunContext context{console.reporter,  windowed, freshSession,
                           "dc1.homelab.net", results,  &passwords};
        processTargets(context, targets, LoopVariant{}, deleteOn(freshSession));
        outstanding = fresh.maxOutstanding;
        sent = fresh.count(fake::Call::Kind::Delete);
        return {console.both(), context.lastError};
    }

    int overlap = 0;  // the fake's overlapResult
    int outstanding = 0;
    std::size_t sent = 0;
};

TEST_F(WindowedTargetsTest, TheReportIsTheOneOfARunWithoutAWindow) {
    const DnList targets{"cn=a,dc=x", "cn=b,dc=x", "cn=c,dc=x", "cn=d,dc=x", "cn=e,dc=x"};
    struct Row {
        const char* what;
        std::vector<fake::RequestAnswer> answers;
        bool cont;
    };
    const std::vector<Row> rows{
        {"all succeed", {}, false},
        {"a failure in the middle, with -cont", {result(0), result(0), result(32)}, true},
        {"the last one fails", {result(0), result(0), result(0), result(0), result(50)}, false},
        {"a time-out", {result(0), fake::noAnswerInTime()}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto one = runWith(1, targets, row.answers, row.cont);
        EXPECT_EQ(outstanding, 1);
        const auto four = runWith(4, targets, row.answers, row.cont);
        EXPECT_EQ(four, one);
        EXPECT_EQ(outstanding, 4);
    }
}

// Without -cont nothing is sent after the failure is known, but what was in flight is
// reported, in order, before the stop message; the status is the last failure's.
TEST_F(WindowedTargetsTest, AFailureStopsSendingButReportsWhatWasInFlight) {
    const DnList targets{"cn=a,dc=x", "cn=b,dc=x", "cn=c,dc=x", "cn=d,dc=x", "cn=e,dc=x"};
    const auto [report, status] =
        runWith(3, targets, {result(0), result(32), result(0), result(50), result(0)});
    // a, b and c go out; a's report frees a place for d before b's failure is known; e
    // is never sent.
    EXPECT_EQ(sent, 4u);
    EXPECT_EQ(report,
              "   DN: cn=a,dc=x...\n"
              "   DN: cn=b,dc=x...: [dc1.homelab.net] Error 0x20 (32) - No such object\n"
              "   DN: cn=c,dc=x...\n"
              "   DN: cn=d,dc=x...: [dc1.homelab.net] Error 0x32 (50) - Insufficient access\n" +
                  std::string(kStop));
    EXPECT_EQ(status, 50);
}

TEST_F(WindowedTargetsTest, TheStatusIsTheLastFailureInInputOrder) {
    const DnList targets{"cn=a,dc=x", "cn=b,dc=x", "cn=c,dc=x"};
    const auto [report, status] = runWith(3, targets, {result(32), result(50), result(0)});
    EXPECT_EQ(status, 50);
    EXPECT_NE(report.find(kStop), std::string::npos);
}

// Requests that depend on each other never travel together: the same DN twice, a parent
// and its child, in either order.
TEST_F(WindowedTargetsTest, DependentTargetsWaitForTheEarlierOne) {
    struct Row {
        DnList targets;
        int outstanding;
    };
    const std::vector<Row> rows{
        {{"cn=a,dc=x", "CN=A,DC=X"}, 1},      {{"ou=p,dc=x", "cn=c,ou=p,dc=x"}, 1},
        {{"cn=c,ou=p,dc=x", "ou=p,dc=x"}, 1}, {{"cn=a,ou=p,dc=x", "cn=b,ou=p,dc=x"}, 2},
        {{"cn=a,dc=x", "cn=a,dc=y"}, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.targets.front() + " / " + row.targets.back());
        runWith(8, row.targets, {});
        EXPECT_EQ(outstanding, row.outstanding);
        EXPECT_EQ(sent, 2u);
    }
}

// One object written two ways is one object to the directory. A server working on requests
// in parallel refuses a parent's delete that overtakes its child's (66); in list order,
// as one at a time, both succeed. An extended form (<GUID=...>) could name any object.
TEST_F(WindowedTargetsTest, SpellingsOfOneObjectStillWait) {
    overlap = 66;
    const std::vector<DnList> lists{
        {"ou=c,OU=A\\,B,dc=x", "OU=A\\2cB,DC=X"},
        {"ou=c,OU=\xC3\xA4rzte,dc=x", "OU=\xC3\x84RZTE,dc=x"},          // ärzte, ÄRZTE
        {"ou=c,ou=\xCF\x83\xCF\x82,dc=x", "OU=\\CE\\A3\\CE\\A3,dc=x"},  // σς, ΣΣ escaped
        {"ou=c, ou = p  q ,dc=x", "OU=p q,DC=x"},
        {"cn=c,ou=p,dc=x", "<GUID=0123456789abcdef0123456789abcdef>"},
        {"<SID=S-1-5-21-1-2-3-1104>", "cn=c,ou=p,dc=x"},
    };
    for (const DnList& targets : lists) {
        SCOPED_TRACE(targets.front() + " / " + targets.back());
        EXPECT_EQ(runWith(1, targets, {}).second, 0);
        EXPECT_EQ(runWith(2, targets, {}).second, 0);
        EXPECT_EQ(outstanding, 1);
    }
    // Unrelated objects travel together, and so meet the parallel server's refusal.
    EXPECT_EQ(runWith(2, {"ou=a,dc=x", "ou=b,dc=x"}, {}).second, 66);
}

// A move waits while the new parent, or one above it, is in flight (a list that also
// moves the new parent itself: one at a time, its failure stops the run first).
TEST_F(WindowedTargetsTest, AMoveWaitsWhileItsNewParentIsInFlight) {
    settings.mode = RunMode::Move;
    settings.newParent = "OU=To,DC=X";
    struct Row {
        DnList targets;
        int outstanding;
    };
    const std::vector<Row> rows{
        {{"ou=to,dc=x", "cn=a,ou=from,dc=x"}, 1},
        {{"dc=x", "cn=a,ou=from,dc=y"}, 1},
        {{"cn=b,ou=to,dc=x", "cn=a,ou=from,dc=x"}, 2},
        {{"ou=from,dc=x", "cn=a,ou=other,dc=x"}, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.targets.front());
        runWith(8, row.targets, {result(32)});
        EXPECT_EQ(outstanding, row.outstanding);
        EXPECT_EQ(sent, static_cast<std::size_t>(row.outstanding));  // the stop comes between
    }
}

// A lost connection fails every request in flight; their outcome is unknown, and the
// admin is told how many there were.
TEST_F(WindowedTargetsTest, ALostConnectionNamesTheRequestsInFlight) {
    const DnList targets{"cn=a,dc=x", "cn=b,dc=x", "cn=c,dc=x", "cn=d,dc=x"};
    const std::string down = ": [dc1.homelab.net] Error 0x51 (81) - Can't contact LDAP server\n";
    const auto [report, status] = runWith(
        3, targets,
        {result(0), result(kLdapServerDown), result(kLdapServerDown), result(kLdapServerDown)});
    EXPECT_EQ(report, "   DN: cn=a,dc=x...\n   DN: cn=b,dc=x..." + down + "   DN: cn=c,dc=x..." +
                          down + "   DN: cn=d,dc=x..." + down +
                          "WARN: The connection was lost with 3 requests in flight; each may "
                          "or may not have been applied.\n" +
                          kStop);
    EXPECT_EQ(status, kLdapServerDown);
    // One at a time there is nothing in flight to warn about.
    const auto one = runWith(1, targets, {result(0), result(kLdapServerDown)});
    EXPECT_EQ(one.first.find("WARN:"), std::string::npos);
}

}  // namespace
}  // namespace kestrel

namespace kestrel {
namespace {

// Each request's time limit runs from its send, on the run's clock: while b is sent the
// clock moves on, and the wait for a gets only what is left of a's own limit.
TEST_F(ProcessTargetsTest, TheTimeLimitCountsFromTheSend) {
    struct Row {
        int limitSeconds;
        std::int64_t sendingBTakesMs;
        int waitForA;
        int waitForB;
    };
    const Row rows[] = {
        {30, 10'000, 20, 30},
        {30, 10'500, 20, 30},      // what is left is rounded up to whole seconds
        {1, 1'100, kPollOnly, 1},  // nothing left: only an answer already in counts
        {0, 10'000, 0, 0},         // no limit stays no limit
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sendingBTakesMs);
        FakeLdapLibrary fresh;
        LdapSession freshSession = fresh.session();
        settings.timeoutSeconds = row.limitSeconds;
        settings.window = 2;
        std::int64_t now = 1'000'000;
        RunContext context{captured.reporter, settings, freshSession, "dc1", results, &passwords};
        context.clock = [&now] { return now; };
        processTargets(context, {"cn=a,dc=x", "cn=b,dc=x"}, LoopVariant{},
                       [&](const std::string& dn) {
                           if (dn == "cn=b,dc=x") {
                               now += row.sendingBTakesMs;
                           }
                           return deleteOn(freshSession)(dn);
                       });
        const std::vector<fake::Call> waits = fresh.callsOf(fake::Call::Kind::Result);
        ASSERT_EQ(waits.size(), 2u);
        EXPECT_EQ(waits[0].timeoutSeconds, row.waitForA);
        EXPECT_EQ(waits[1].timeoutSeconds, row.waitForB);
    }
}

}  // namespace
}  // namespace kestrel
