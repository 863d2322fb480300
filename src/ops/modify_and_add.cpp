#include "ops/modify_and_add.h"

#include <functional>
#include <optional>
#include <span>

#include "ops/bit_change_requests.h"
#include "ops/modification_list.h"
#include "session/ldap_client.h"

namespace kestrel {
namespace {

// Sends one target's request: a send code and a number to await.
using Sender = std::function<int(const std::string& dn, std::span<const Modification>,
                                 const ServerControls&, int& messageId)>;

// With `passwordOnlyAfterSuccess` a target whose request failed gets no password step.
// `alwaysSends`: a request goes to each target even when the list is empty.
void sendToEachTarget(RunContext& run, const DnList& targets, const ModificationList& list,
                      const Sender& sender, bool passwordOnlyAfterSuccess,
                      bool alwaysSends = false) {
    LoopVariant variant;
    variant.emptyDnAsRootDse = true;
    variant.passwordOnlyAfterSuccess = passwordOnlyAfterSuccess;
    const ServerControls noControls;
    processTargets(
        run, targets, variant,
        [&](const std::string& dn) {
            RequestOutcome outcome;
            if (list.size() == 0 && !alwaysSends) {
                run.reporter.notice("  No LDAP updates to make.\n");
                outcome.kind = RequestOutcome::Kind::NoRequest;
                return outcome;
            }
            outcome.sendCode = sender(dn, list.modifications(), noControls, outcome.messageId);
            return outcome;
        },
        list.password());
}

Sender requestsOf(RunContext& run, ModificationRequest request) {
    return [&run, request](const std::string& dn, std::span<const Modification> modifications,
                           const ServerControls& controls, int& messageId) {
        return run.session.handle->sendModifications(request, dn, modifications, controls,
                                                     messageId);
    };
}

}  // namespace

void runModify(RunContext& run, const DnList& targets, const ModificationSet& set) {
    run.reporter.info("Modifying specified objects...\n");
    const ModificationList list = ModificationList::forModify(run.reporter, set);
    if (set.bitChanges.empty()) {
        sendToEachTarget(run, targets, list, requestsOf(run, ModificationRequest::Modify), false);
        return;
    }
    BitChangeRequests bits(run, set.bitChanges);
    const Sender sender = [&bits](const std::string& dn, std::span<const Modification> fixed,
                                  const ServerControls& controls, int& messageId) {
        return bits.send(dn, fixed, controls, messageId);
    };
    sendToEachTarget(run, targets, list, sender, false, true);
}

void runAdd(RunContext& run, const DnList& targets, const ModificationSet& set) {
    run.reporter.info("Adding specified objects...\n");
    const ModificationList list = ModificationList::forAdd(run.reporter, set);
    // A failed add (say the account exists already) created nothing: setting the password
    // then would reset an existing account's password to the new accounts' one.
    sendToEachTarget(run, targets, list, requestsOf(run, ModificationRequest::Add), true);
}

}  // namespace kestrel
