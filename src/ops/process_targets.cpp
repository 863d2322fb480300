#include "ops/process_targets.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "directory/ldap_client.h"
#include "dn/dn_key.h"
#include "ops/dependency_index.h"
#include "ops/target_lines.h"
#include "password/password_status.h"

namespace kestrel {
namespace {

// The -json text of a target the mode's step gave up on before sending anything.
constexpr const char* kSkippedText = "Skipped, nothing was sent";
// The -json text of a target that already held what was asked, so no write was needed.
constexpr const char* kUnchangedText = "Already as asked, nothing was sent";

// A password status's text on one line, as a -json line carries it.
std::string passwordStatusText(std::int32_t status) {
    std::string text = statusText(status).text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// A target whose request has been made (or refused) and whose report is still to come.
struct InFlight {
    std::string dn;
    std::size_t index = 0;
    RequestOutcome outcome;
    std::vector<Reporter::Captured> lines;  // what the request step wrote, for its turn
    std::int64_t sentAt = 0;                // on the run's clock
    std::optional<DnKey> key;               // with a window: its place in the dependency index
};

// The target next in line to be sent. With a window its DN's key is read when it comes
// next, once however many answers it then waits for, and goes with it when it is sent.
struct NextTarget {
    std::size_t index = 0;
    std::optional<DnKey> key;
};

// What became of one target's request, as its report tells it.
struct RequestResult {
    bool failed = false;
    std::int32_t code = 0;
    std::string diagnostic;  // the server's text
    RequestFate fate = RequestFate::Done;
    bool unchanged = false;  // answered at once: nothing needed sending
};

// The loop over a run's targets. Invariants:
// - targets are reported (progress line, the step's captured lines, the outcome) in input
//   order, whatever order their answers come in;
// - no request is sent while one it depends on (ops/dependency_index) is in flight;
// - the phase only moves forward: Sending, then (a failure without -cont) Draining, where
//   nothing more is sent and the requests in flight are reported, then Stopped, when the
//   stop message follows the last of them;
// - every target whose step ran is reported, its password step included.
class TargetLoop {
  public:
    TargetLoop(RunContext& run, const LoopVariant& variant, const IndexedRequestStep& request,
               const TargetPassword& passwordOf)
        : run_(run),
          variant_(variant),
          request_(request),
          passwordOf_(passwordOf),
          window_(static_cast<std::size_t>(std::max(1, run.settings.window))) {
        if (run.settings.mode == RunMode::Move) {
            dependencies_.forMoveTo(dnKey(run.settings.newParent));
        }
    }

    LoopEnd run(const DnList& targets) {
        NextTarget next = lineUp(targets, 0);
        while (true) {
            while (phase_ == Phase::Sending && next.index < targets.size() &&
                   inFlight_.size() < window_ && !mustWait(next)) {
                const std::size_t index = next.index;
                send(targets[index], index, std::move(next.key));
                next = lineUp(targets, index + 1);
            }
            if (inFlight_.empty()) {
                break;
            }
            InFlight done = std::move(inFlight_.front());
            inFlight_.pop_front();
            if (window_ > 1) {
                dependencies_.remove(done.key);
            }
            const bool failed = report(done);
            if (run_.progress != nullptr) {
                run_.progress->targetDone(failed);
            }
            if (phase_ == Phase::Draining && inFlight_.empty()) {
                stop();
            }
        }
        if (phase_ == Phase::Sending) {
            warnUnknownOutcomes();
            return LoopEnd::Completed;
        }
        return LoopEnd::Stopped;
    }

  private:
    // targets[index] as the next to send. One at a time nothing is ever checked against
    // what is in flight, so its DN is not read.
    NextTarget lineUp(const DnList& targets, std::size_t index) const {
        NextTarget next{index, std::nullopt};
        if (window_ > 1 && index < targets.size()) {
            next.key = dnKey(targets[index]);
        }
        return next;
    }

    // Runs the target's step, keeping what it writes for the target's turn to be reported.
    void send(const std::string& dn, std::size_t index, std::optional<DnKey> key) {
        Reporter& reporter = run_.reporter;
        reporter.beginCapture();
        InFlight sent{dn, index, request_(index), {}, run_.clock(), std::move(key)};
        sent.lines = reporter.endCapture();
        if (window_ > 1) {
            dependencies_.add(sent.key);
        }
        inFlight_.push_back(std::move(sent));
    }

    // So that a parent and its children in one list meet the server in the list's order.
    bool mustWait(const NextTarget& next) const {
        return !inFlight_.empty() && dependencies_.mustWait(next.key);
    }

    // Reports one target in its turn: its heading and the lines its step wrote, its
    // request's result, its password step and its -json line. True when the target failed.
    bool report(const InFlight& target) {
        writeHeading(target);
        if (target.outcome.kind == RequestOutcome::Kind::Skipped) {
            reportSkipped(target.dn);
            return true;
        }
        const RequestResult result = resultOf(target);
        const std::int32_t passwordStatus = passwordStep(target, result.failed);
        if (run_.reporter.json) {  // no texts to look up for a line nobody asked for
            writeResultLine(target.dn, result, passwordStatus);
        }
        return result.failed || passwordStatus != 0;
    }

    // The progress line (unless the mode names its target elsewhere), then what the
    // target's step wrote.
    void writeHeading(const InFlight& target) {
        Reporter& reporter = run_.reporter;
        if (variant_.progressLine) {
            writeTargetStart(
                reporter, target.dn.empty() && variant_.emptyDnAsRootDse ? "ROOTDSE" : target.dn);
        }
        reporter.replay(target.lines);
    }

    // A target the step gave up on: -1 as the last error, and the run goes on.
    void reportSkipped(const std::string& dn) {
        run_.lastError = -1;
        reportResult(dn, RequestFate::NotSent, -1, "", kSkippedText);
    }

    // The result of a target's request, once its answer (if any) is in and shown.
    RequestResult resultOf(const InFlight& target) {
        const RequestOutcome& outcome = target.outcome;
        switch (outcome.kind) {
            case RequestOutcome::Kind::Refused: {
                recordFailure(outcome.status);
                return RequestResult{true, outcome.status, "", requestFate(false, outcome.status)};
            }
            case RequestOutcome::Kind::Sent: {
                const RequestResult result = awaitAnswer(target);
                writeAnswer(result);
                return result;
            }
            case RequestOutcome::Kind::NoRequest:
            case RequestOutcome::Kind::Skipped:
                break;
        }
        return RequestResult{};
    }

    // Waits for the answer to a request that went out, within what is left of the time
    // limit that started at its send.
    RequestResult awaitAnswer(const InFlight& target) {
        const RequestOutcome& outcome = target.outcome;
        RequestResult result;
        result.code = outcome.sendCode;
        bool sent = result.code == 0;  // a send that failed left nothing behind
        if (result.code == 0 && outcome.messageId != 0) {
            result.code =
                awaitResult(run_.session, outcome.messageId,
                            secondsLeft(run_.settings.timeoutSeconds, run_.clock() - target.sentAt),
                            result.diagnostic, sent);
        }
        result.fate = requestFate(sent, result.code);
        result.unchanged = result.code == 0 && !sent;
        result.failed = result.code != 0;
        return result;
    }

    // The answer's line: the failure, counted for the stop rule, or the success's end of line.
    void writeAnswer(const RequestResult& result) {
        if (!result.failed) {
            run_.reporter.notice("\n");  // also when quiet: one line per success
            return;
        }
        writeTargetFailure(run_.reporter, run_.serverName, result.code, ldapErrorText(result.code),
                           run_.settings.showExtendedError, result.diagnostic);
        countLostConnection(result.code, result.fate);
        recordFailure(result.code);
    }

    // Sets the target's password when it has one and its request's result allows; returns
    // the step's status (0 also when there was none). Also while a stopping run drains its
    // window: a target whose request was made gets its whole change, so every target shown
    // is done or shown as failed.
    std::int32_t passwordStep(const InFlight& target, bool requestFailed) {
        const PasswordRequest* password = passwordOf_(target.index);
        if (password == nullptr || !password->requested ||
            (requestFailed &&
             (variant_.passwordOnlyAfterSuccess || !run_.settings.continueOnError))) {
            return 0;
        }
        return setPassword(target.dn, password->password);
    }

    // -json: a failed password step after a successful request is the target's failure;
    // otherwise the line tells the request's result.
    void writeResultLine(const std::string& dn, const RequestResult& result,
                         std::int32_t passwordStatus) {
        if (result.code == 0 && passwordStatus != 0) {
            reportResult(dn, RequestFate::Failed, passwordStatus, "",
                         passwordStatusText(passwordStatus));
        } else {
            reportResult(dn, result.fate, result.code, result.diagnostic,
                         result.unchanged ? kUnchangedText : ldapErrorText(result.code));
        }
    }

    // The target's -json line: its outcome, the code and the texts that tell why.
    void reportResult(const std::string& dn, RequestFate fate, std::int32_t code,
                      const std::string& serverText, const std::string& text) {
        run_.results.write(run_.reporter, dn, fate, code, text, serverText);
    }

    std::int32_t setPassword(const std::string& dn, const std::string& newPassword) {
        Reporter& reporter = run_.reporter;
        if (!run_.preview) {
            reporter.notice("       Changing password...");
        }
        const std::int32_t status =
            run_.passwords->setPassword(reporter, run_.serverName, dn, newPassword);
        if (status != 0) {
            recordFailure(status);
        } else if (!run_.preview) {
            reporter.notice("   Successful.\n");
        }
        return status;
    }

    // A lost connection with several requests in flight: each one sent may or may not have
    // been applied, and the admin must know how many (those that never left changed nothing).
    void countLostConnection(int code, RequestFate fate) {
        connectionLost_ = connectionLost_ || code == kLdapServerDown;
        if (connectionLost_ && fate == RequestFate::Unknown) {
            ++unknownOutcomes_;
        }
    }

    // Without -cont no request is sent after a failure; those already in flight are
    // awaited and reported first, so the stop message follows every change that was made.
    void recordFailure(std::int32_t status) {
        run_.lastError = status;
        if (!run_.settings.continueOnError && phase_ == Phase::Sending) {
            phase_ = Phase::Draining;
        }
    }

    void stop() {
        phase_ = Phase::Stopped;
        warnUnknownOutcomes();
        run_.reporter.notice(variant_.stopMessage);
    }

    void warnUnknownOutcomes() {
        if (unknownOutcomes_ > 1) {
            run_.reporter.warning("The connection was lost with " +
                                  std::to_string(unknownOutcomes_) +
                                  " requests in flight; each may or may not have been applied.\n");
        }
    }

    enum class Phase { Sending, Draining, Stopped };

    RunContext& run_;
    const LoopVariant& variant_;
    const IndexedRequestStep& request_;
    const TargetPassword& passwordOf_;
    const std::size_t window_;
    DependencyIndex dependencies_;
    std::deque<InFlight> inFlight_;
    Phase phase_ = Phase::Sending;
    bool connectionLost_ = false;
    std::size_t unknownOutcomes_ = 0;  // from the first lost connection on
};

}  // namespace

LoopEnd processTargets(RunContext& run, const DnList& targets, const LoopVariant& variant,
                       const RequestStep& request, const PasswordRequest& password) {
    const TargetPassword same = [&password](std::size_t) { return &password; };
    return processTargets(run, targets, variant, request, same);
}

LoopEnd processTargets(RunContext& run, const DnList& targets, const LoopVariant& variant,
                       const RequestStep& request, const TargetPassword& passwordOf) {
    const IndexedRequestStep byDn = [&](std::size_t index) { return request(targets[index]); };
    return TargetLoop(run, variant, byDn, passwordOf).run(targets);
}

LoopEnd processTargets(RunContext& run, const DnList& targets, const LoopVariant& variant,
                       const IndexedRequestStep& request, const TargetPassword& passwordOf) {
    if (passwordOf) {
        return TargetLoop(run, variant, request, passwordOf).run(targets);
    }
    const TargetPassword noPassword = [](std::size_t) -> const PasswordRequest* { return nullptr; };
    return TargetLoop(run, variant, request, noPassword).run(targets);
}

}  // namespace kestrel
