#include "ops/modify_and_add.h"

#include "ops/modification_list.h"
#include "session/ldap_client.h"

namespace kestrel {
namespace {

// With `passwordOnlyAfterSuccess` a target whose request failed gets no password step.
void sendToEachTarget(RunContext& run, const DnList& targets, const ModificationList& list,
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

}  // namespace

void runModify(RunContext& run, const DnList& targets, const ModificationSet& set) {
    run.reporter.info("Modifying specified objects...\n");
    const ModificationList list = ModificationList::forModify(run.reporter, set);
    sendToEachTarget(run, targets, list, ModificationRequest::Modify, false);
}

void runAdd(RunContext& run, const DnList& targets, const ModificationSet& set) {
    run.reporter.info("Adding specified objects...\n");
    const ModificationList list = ModificationList::forAdd(run.reporter, set);
    // A failed add (say the account exists already) created nothing: setting the password
    // then would reset an existing account's password to the new accounts' one.
    sendToEachTarget(run, targets, list, ModificationRequest::Add, true);
}

}  // namespace kestrel
