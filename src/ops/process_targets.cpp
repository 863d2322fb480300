#include "ops/process_targets.h"

#include "session/ldap_client.h"

namespace kestrel {
namespace {

void recordFailure(RunContext& run, std::int32_t status, const LoopVariant& variant) {
    run.lastError = status;
    if (!run.settings.continueOnError) {
        run.reporter.notice(variant.stopMessage);
        run.keepGoing = false;
    }
}

}  // namespace

void processTargets(RunContext& run, const DnList& targets, const LoopVariant& variant,
                    const RequestStep& request, const PasswordRequest& password) {
    Reporter& reporter = run.reporter;
    run.keepGoing = true;
    for (const std::string& dn : targets) {
        if (!run.keepGoing) {
            break;
        }
        if (variant.progressLine) {
            reporter.targetStart(dn.empty() && variant.emptyDnAsRootDse ? "ROOTDSE" : dn);
        }
        const RequestOutcome outcome = request(dn);
        bool failed = false;
        switch (outcome.kind) {
            case RequestOutcome::Kind::Skipped:
                run.lastError = -1;
                continue;
            case RequestOutcome::Kind::Refused:
                failed = true;
                recordFailure(run, outcome.status, variant);
                break;
            case RequestOutcome::Kind::NoRequest:
                break;
            case RequestOutcome::Kind::Sent: {
                int code = outcome.sendCode;
                std::string diagnostic;
                if (code == 0 && outcome.messageId != 0) {
                    code = awaitResult(run.session, outcome.messageId, run.settings.timeoutSeconds,
                                       diagnostic);
                }
                if (code != 0) {
                    reporter.targetFailure(run.serverName, code, ldapErrorText(code),
                                           run.settings.showExtendedError, diagnostic);
                    failed = true;
                    recordFailure(run, code, variant);
                } else {
                    reporter.notice("\n");  // also when quiet: one line per success
                }
                break;
            }
        }
        if (run.keepGoing && password.requested && !(failed && variant.passwordOnlyAfterSuccess)) {
            if (!run.preview) {
                reporter.notice("       Changing password...");
            }
            const std::int32_t status =
                run.passwords->setPassword(reporter, run.serverName, dn, password.password);
            if (status != 0) {
                recordFailure(run, status, variant);
            } else if (!run.preview) {
                reporter.notice("   Successful.\n");
            }
        }
    }
}

}  // namespace kestrel
