#include "ops/modify_and_add.h"

#include <deque>
#include <ostream>

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

// A row's list, built as its request is made: its warnings are then its target's lines.
ModificationList rowList(Reporter& reporter, Reporter& discard, ModificationRequest request,
                         const RowChanges& changes, std::size_t index) {
    ModificationSet set = changes.commandLine;
    // What the parser says of these actions was shown when they were checked.
    parseAttributeActions(discard, changes.actions[index], changes.syntax, set);
    return listFor(reporter, request, set);
}

void sendRows(RunContext& run, const DnList& targets, const RowChanges& changes,
              ModificationRequest request) {
    std::ostream nowhere(nullptr);
    Reporter discard(nowhere, nowhere);
    // The lists from the first target not yet reported on: each password is still there
    // when its target's turn comes, and only a window's lists are held.
    std::deque<ModificationList> lists;
    std::size_t first = 0;
    std::size_t next = 0;
    processTargets(
        run, targets, variantFor(request),
        [&](const std::string& dn) {
            lists.push_back(rowList(run.reporter, discard, request, changes, next++));
            return sendList(run, request, dn, lists.back());
        },
        [&](std::size_t index) {
            for (; first < index; ++first) {
                lists.pop_front();
            }
            return &lists.front().password();
        });
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

void runModifyRows(RunContext& run, const DnList& targets, const RowChanges& changes) {
    run.reporter.info("Modifying specified objects...\n");
    sendRows(run, targets, changes, ModificationRequest::Modify);
}

void runAddRows(RunContext& run, const DnList& targets, const RowChanges& changes) {
    run.reporter.info("Adding specified objects...\n");
    sendRows(run, targets, changes, ModificationRequest::Add);
}

}  // namespace kestrel
