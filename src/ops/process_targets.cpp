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
    TargetLoop(RunContext& run, const LoopVariant& variant, const RequestStep& request,
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
        std::size_t next = 0;
        while (true) {
            while (phase_ == Phase::Sending && next < targets.size() &&
                   inFlight_.size() < window_ && !mustWait(targets, next)) {
                send(targets, next++);
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
    void send(const DnList& targets, std::size_t index) {
        Reporter& reporter = run_.reporter;
        reporter.beginCapture();
        InFlight sent{targets[index], index,       request_(targets[index]), {},
                      run_.clock(),   std::nullopt};
        sent.lines = reporter.endCapture();
        // One at a time nothing is ever checked against what is in flight.
        if (window_ > 1) {
            keyOf(targets, index);
            sent.key = std::move(key_);
            keyIndex_ = kNoKey;
            dependencies_.add(sent.key);
        }
        inFlight_.push_back(std::move(sent));
    }

    // So that a parent and its children in one list meet the server in the list's order.
    bool mustWait(const DnList& targets, std::size_t index) {
        return !inFlight_.empty() && dependencies_.mustWait(keyOf(targets, index));
    }

    // Each target's DN is read once, however often it is checked while it waits.
    std::optional<DnKey>& keyOf(const DnList& targets, std::size_t index) {
        if (keyIndex_ != index) {
            key_ = dnKey(targets[index]);
            keyIndex_ = index;
        }
        return key_;
    }

    // True when the target failed.
    bool report(const InFlight& target) {
        Reporter& reporter = run_.reporter;
        if (variant_.progressLine) {
            writeTargetStart(
                reporter, target.dn.empty() && variant_.emptyDnAsRootDse ? "ROOTDSE" : target.dn);
        }
        reporter.replay(target.lines);
        const RequestOutcome& outcome = target.outcome;
        bool failed = false;
        std::int32_t code = 0;
        std::string diagnostic;
        RequestFate fate = RequestFate::Done;
        bool unchanged = false;  // answered at once: nothing needed sending
        switch (outcome.kind) {
            case RequestOutcome::Kind::Skipped:
                run_.lastError = -1;
                reportResult(target.dn, RequestFate::NotSent, -1, "", kSkippedText);
                return true;
            case RequestOutcome::Kind::Refused:
                failed = true;
                code = outcome.status;
                fate = requestFate(false, code);
                recordFailure(outcome.status);
                break;
            case RequestOutcome::Kind::NoRequest:
                break;
            case RequestOutcome::Kind::Sent: {
                code = outcome.sendCode;
                bool sent = code == 0;  // a send that failed left nothing behind
                if (code == 0 && outcome.messageId != 0) {
                    code = awaitResult(
                        run_.session, outcome.messageId,
                        secondsLeft(run_.settings.timeoutSeconds, run_.clock() - target.sentAt),
                        diagnostic, sent);
                }
                fate = requestFate(sent, code);
                unchanged = code == 0 && !sent;
                if (code != 0) {
                    writeTargetFailure(reporter, run_.serverName, code, ldapErrorText(code),
                                       run_.settings.showExtendedError, diagnostic);
                    failed = true;
                    countLostConnection(code, fate);
                    recordFailure(code);
                } else {
                    reporter.notice("\n");  // also when quiet: one line per success
                }
                break;
            }
        }
        std::int32_t passwordStatus = 0;
        // Also while a stopping run drains its window: a target whose request was made
        // gets its whole change, so every target shown is done or shown as failed.
        const PasswordRequest* password = passwordOf_(target.index);
        if (password != nullptr && password->requested &&
            !(failed && (variant_.passwordOnlyAfterSuccess || !run_.settings.continueOnError))) {
            passwordStatus = setPassword(target.dn, password->password);
        }
        failed = failed || passwordStatus != 0;
        if (!run_.reporter.json) {
            return failed;  // no texts to look up for a line nobody asked for
        }
        if (code == 0 && passwordStatus != 0) {
            reportResult(target.dn, RequestFate::Failed, passwordStatus, "",
                         passwordStatusText(passwordStatus));
        } else {
            reportResult(target.dn, fate, code, diagnostic,
                         unchanged ? kUnchangedText : ldapErrorText(code));
        }
        return failed;
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
    const RequestStep& request_;
    const TargetPassword& passwordOf_;
    const std::size_t window_;
    DependencyIndex dependencies_;
    std::optional<DnKey> key_;  // the key of targets[keyIndex_]
    static constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);
    std::size_t keyIndex_ = kNoKey;
    std::deque<InFlight> inFlight_;
    Phase phase_ = Phase::Sending;
    bool connectionLost_ = false;
    std::size_t unknownOutcomes_ = 0;  // from the first lost connection on
};

}  // namespace

LoopEnd processTargets(RunContext& run, const DnList& targets, const LoopVariant& variant,
                       const RequestStep& request, const PasswordRequest& password) {
    const TargetPassword same = [&password](std::size_t) { return &password; };
    return TargetLoop(run, variant, request, same).run(targets);
}

LoopEnd processTargets(RunContext& run, const DnList& targets, const LoopVariant& variant,
                       const RequestStep& request, const TargetPassword& passwordOf) {
    return TargetLoop(run, variant, request, passwordOf).run(targets);
}

}  // namespace kestrel
