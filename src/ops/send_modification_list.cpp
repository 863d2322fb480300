#include "ops/send_modification_list.h"

namespace kestrel {

void sendModificationList(RunContext& run, const DnList& targets, const ModificationList& list,
                          ModificationRequest request, bool passwordOnlyAfterSuccess) {
    LoopVariant variant;
    variant.emptyDnAsRootDse = true;
    variant.passwordOnlyAfterSuccess = passwordOnlyAfterSuccess;
    const ServerControls noControls;
    processTargets(
        run, targets, variant,
        [&](const std::string& dn) {
            RequestOutcome outcome;
            if (list.size() == 0) {
                run.reporter.notice("  No LDAP updates to make.\n");
                outcome.kind = RequestOutcome::Kind::NoRequest;
                return outcome;
            }
            outcome.sendCode = run.session.handle->sendModifications(
                request, dn, list.modifications(), noControls, outcome.messageId);
            return outcome;
        },
        list.password());
}

}  // namespace kestrel
