#include "ops/modify_and_add.h"

#include <deque>

#include "ops/modification_list.h"
#include "session/ldap_client.h"

namespace kestrel {
namespace {

LoopVariant variantFor(ModificationRequest request) {
    LoopVariant variant;
    variant.emptyDnAsRootDse = true;
    // A failed add (say the account exists already) created nothing: setting the password
    // then would reset an existing account's password to the new accounts' one.
    variant.passwordOnlyAfterSuccess = request == ModificationRequest::Add;
    return variant;
}

RequestOutcome sendList(RunContext& run, ModificationRequest request, const std::string& dn,
                        const ModificationList& list) {
    RequestOutcome outcome;
    if (list.size() == 0) {
        run.reporter.notice("  No LDAP updates to make.\n");
        outcome.kind = RequestOutcome::Kind::NoRequest;
        return outcome;
    }
    const ServerControls noControls;
    outcome.sendCode = run.session.handle->sendModifications(request, dn, list.modifications(),
                                                             noControls, outcome.messageId);
    return outcome;
}

void sendToEachTarget(RunContext& run, const DnList& targets, const ModificationList& list,
                      ModificationRequest request) {
    processTargets(
        run, targets, variantFor(request),
        [&](const std::string& dn) { return sendList(run, request, dn, list); }, list.password());
}

ModificationList listFor(Reporter& reporter, ModificationRequest request,
                         const ModificationSet& set) {
    return request == ModificationRequest::Add ? ModificationList::forAdd(reporter, set)
                                               : ModificationList::forModify(reporter, set);
}

void sendRows(RunContext& run, const DnList& targets, std::span<const ModificationSet> sets,
              ModificationRequest request) {
    // Built as each row is sent: its warnings are then its target's lines, and its password
    // is still there when the target's turn comes.
    std::deque<ModificationList> lists;
    processTargets(
        run, targets, variantFor(request),
        [&](const std::string& dn) {
            lists.push_back(listFor(run.reporter, request, sets[lists.size()]));
            return sendList(run, request, dn, lists.back());
        },
        [&](std::size_t index) { return &lists[index].password(); });
}

}  // namespace

void runModify(RunContext& run, const DnList& targets, const ModificationSet& set) {
    run.reporter.info("Modifying specified objects...\n");
    const ModificationList list = ModificationList::forModify(run.reporter, set);
    sendToEachTarget(run, targets, list, ModificationRequest::Modify);
}

void runAdd(RunContext& run, const DnList& targets, const ModificationSet& set) {
    run.reporter.info("Adding specified objects...\n");
    const ModificationList list = ModificationList::forAdd(run.reporter, set);
    sendToEachTarget(run, targets, list, ModificationRequest::Add);
}

void runModifyRows(RunContext& run, const DnList& targets, std::span<const ModificationSet> sets) {
    run.reporter.info("Modifying specified objects...\n");
    sendRows(run, targets, sets, ModificationRequest::Modify);
}

void runAddRows(RunContext& run, const DnList& targets, std::span<const ModificationSet> sets) {
    run.reporter.info("Adding specified objects...\n");
    sendRows(run, targets, sets, ModificationRequest::Add);
}

}  // namespace kestrel
