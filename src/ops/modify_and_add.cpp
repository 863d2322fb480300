#include "ops/modify_and_add.h"

#include <deque>
#include <functional>
#include <ostream>
#include <span>

#include "directory/ldap_client.h"
#include "ops/bit_change_requests.h"
#include "ops/modification_list.h"

namespace kestrel {
namespace {

// Sends one target's request: a send code and a number to await.
using Sender = std::function<int(const std::string& dn, std::span<const Modification>,
                                 const ServerControls&, int& messageId)>;

LoopVariant variantFor(ModificationRequest request) {
    LoopVariant variant;
    variant.emptyDnAsRootDse = true;
    // A failed add (say the account exists already) created nothing: setting the password
    // then would reset an existing account's password to the new accounts' one.
    variant.passwordOnlyAfterSuccess = request == ModificationRequest::Add;
    return variant;
}

// `alwaysSends`: a request goes to each target even when the list is empty (its bit
// changes are read first).
RequestOutcome sendList(RunContext& run, const Sender& sender, const std::string& dn,
                        const ModificationList& list, bool alwaysSends) {
    RequestOutcome outcome;
    if (list.size() == 0 && !alwaysSends) {
        run.reporter.notice("  No LDAP updates to make.\n");
        outcome.kind = RequestOutcome::Kind::NoRequest;
        return outcome;
    }
    const ServerControls noControls;
    outcome.sendCode = sender(dn, list.modifications(), noControls, outcome.messageId);
    return outcome;
}

// Calls `body` with the sender of `request`: with setbits/clearbits in `set`, each target's
// request goes out once its value is read (the reads pipelined), while `body` runs.
void withSender(RunContext& run, ModificationRequest request, const ModificationSet& set,
                const std::function<void(const Sender&, bool alwaysSends)>& body) {
    if (set.bitChanges.empty()) {
        body(
            [&run, request](const std::string& dn, std::span<const Modification> modifications,
                            const ServerControls& controls, int& messageId) {
                return run.session.handle->sendModifications(request, dn, modifications, controls,
                                                             messageId);
            },
            false);
        return;
    }
    BitChangeRequests bits(run, set.bitChanges);
    body([&bits](const std::string& dn, std::span<const Modification> fixed,
                 const ServerControls& controls,
                 int& messageId) { return bits.send(dn, fixed, controls, messageId); },
         true);
}

void sendToEachTarget(RunContext& run, const DnList& targets, const ModificationList& list,
                      ModificationRequest request, const ModificationSet& set) {
    withSender(run, request, set, [&](const Sender& sender, bool alwaysSends) {
        processTargets(
            run, targets, variantFor(request),
            [&](const std::string& dn) { return sendList(run, sender, dn, list, alwaysSends); },
            list.password());
    });
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

// The bit changes come from the command line alone (a row's cells cannot hold one), so
// every row's request goes the same way.
void sendRows(RunContext& run, const DnList& targets, const RowChanges& changes,
              ModificationRequest request) {
    std::ostream nowhere(nullptr);
    Reporter discard(nowhere, nowhere);
    // The lists from the first target not yet reported on: each password is still there
    // when its target's turn comes, and only a window's lists are held.
    std::deque<ModificationList> lists;
    std::size_t first = 0;
    withSender(run, request, changes.commandLine, [&](const Sender& sender, bool alwaysSends) {
        processTargets(
            run, targets, variantFor(request),
            [&](std::size_t index) {
                lists.push_back(rowList(run.reporter, discard, request, changes, index));
                return sendList(run, sender, targets[index], lists.back(), alwaysSends);
            },
            [&](std::size_t index) {
                for (; first < index; ++first) {
                    lists.pop_front();
                }
                return &lists.front().password();
            });
    });
}

}  // namespace

void runModify(RunContext& run, const DnList& targets, const ModificationSet& set) {
    run.reporter.info("Modifying specified objects...\n");
    const ModificationList list = ModificationList::forModify(run.reporter, set);
    sendToEachTarget(run, targets, list, ModificationRequest::Modify, set);
}

void runAdd(RunContext& run, const DnList& targets, const ModificationSet& set) {
    run.reporter.info("Adding specified objects...\n");
    const ModificationList list = ModificationList::forAdd(run.reporter, set);
    sendToEachTarget(run, targets, list, ModificationRequest::Add, set);
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
