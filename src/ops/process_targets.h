// The per-target loop every mode shares: progress line, outcome, -cont and the stop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "connection/ldap_session.h"
#include "ops/progress_line.h"
#include "ops/run_settings.h"
#include "ops/target_lines.h"
#include "password/password_setter.h"
#include "util/reporter.h"
#include "util/tick_counter.h"

namespace kestrel {

// What one run of the mode's operation works with and leaves behind.
struct RunContext {
    Reporter& reporter;
    const RunSettings& settings;
    LdapSession& session;
    std::string serverName;  // the RootDSE's dnsHostName: the subject of error lines
    ResultLines& results;    // -json: the lines written, for the summary the caller writes
    PasswordSetter* passwords = nullptr;
    bool preview = false;        // -dryrun: the password step shows a record, not progress
    std::int32_t lastError = 0;  // status of the run's latest failure; success never clears it
    // Milliseconds on a monotonic clock: each request's time limit runs from its send.
    std::function<std::int64_t()> clock = monotonicMilliseconds;
    ProgressLine* progress = nullptr;  // a quiet run on a terminal: told of each target
};

// What a mode's request step did for one target.
struct RequestOutcome {
    enum class Kind {
        Sent,       // a request went out (or failed to): sendCode and messageId
        NoRequest,  // nothing to send; the step wrote its own line
        Skipped,    // the step gave up on this target: last error -1, the loop goes on
        Refused,    // refused locally with an ERROR line: `status` is the failure
    };
    Kind kind = Kind::Sent;
    int sendCode = 0;
    int messageId = 0;
    std::int32_t status = 0;
};

// What the stop rule writes once the last request in flight is reported; move writes the
// same line without the blank lines before it.
inline constexpr std::string_view kStopMessage =
    "\n\nERROR: Too many errors encountered, terminating...\n";
inline constexpr std::string_view kMoveStopMessage = kStopMessage.substr(2);

struct LoopVariant {
    bool emptyDnAsRootDse = false;          // modify and add show the RootDSE by name
    bool progressLine = true;               // rename names its single target in the heading instead
    bool passwordOnlyAfterSuccess = false;  // add: no password step for a failed request
    std::string_view stopMessage = kStopMessage;
};

using RequestStep = std::function<RequestOutcome(const std::string& dn)>;

// A step given the target's place in the list rather than its DN, for targets that are
// more than a DN (a file's records).
using IndexedRequestStep = std::function<RequestOutcome(std::size_t index)>;

struct PasswordRequest {
    bool requested = false;
    std::string password;
};

// The password step of targets[index], or nothing.
using TargetPassword = std::function<const PasswordRequest*(std::size_t index)>;

// How a loop ended: every target was sent, or the stop rule ended it early.
enum class LoopEnd { Completed, Stopped };

// Runs `request` for each target front to back, awaiting and reporting each result;
// with a password request, sets the password of each target after its request.
LoopEnd processTargets(RunContext& run, const DnList& targets, const LoopVariant& variant,
                       const RequestStep& request, const PasswordRequest& password = {});

// The same with a password step of each target's own (the step runs once per target, in
// order, so it may count them).
LoopEnd processTargets(RunContext& run, const DnList& targets, const LoopVariant& variant,
                       const RequestStep& request, const TargetPassword& passwordOf);

// The same with a step given each target's index, and a password step of each target's
// own or none.
LoopEnd processTargets(RunContext& run, const DnList& targets, const LoopVariant& variant,
                       const IndexedRequestStep& request, const TargetPassword& passwordOf = {});

}  // namespace kestrel
