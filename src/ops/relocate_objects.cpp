#include "ops/relocate_objects.h"

#include "directory/error_report.h"
#include "directory/tree_delete_rounds.h"
#include "dn/dn_components.h"
#include "util/ascii_case.h"
#include "util/terminal_text.h"

namespace kestrel {
namespace {

// A target that is not a DN is never sent: with no first component there is no RDN.
// The line is this target's error line, so quiet mode drops it like the others.
RequestOutcome refuseNonDn(Reporter& reporter) {
    reporter.info("ERROR: Not a valid DN, nothing was sent for it.\n");
    RequestOutcome outcome;
    outcome.kind = RequestOutcome::Kind::Refused;
    outcome.status = kLdapInvalidDnSyntax;
    return outcome;
}

// The object's last known parent DN as the directory holds it, or empty text.
std::string lastKnownParent(Reporter& reporter, LdapSession& session, const std::string& dn) {
    SearchRequest request;
    request.base = dn;
    request.filter = "(objectclass=*)";
    request.attributes = {"lastKnownParent"};
    request.controls = {ServerControl{kShowDeletedOid, "", true}};
    request.sizeLimit = 1;
    std::vector<LdapEntry> entries;
    const int rc = session.handle->search(request, entries);
    if (rc != 0) {
        reportLdapError(reporter, "Error: lastKnownParent", "", rc, nullptr);
        return "";
    }
    if (entries.empty()) {
        return "";
    }
    const std::vector<std::string>* values = entries.front().values("lastKnownParent");
    return values != nullptr && !values->empty() ? values->front() : "";
}

RequestOutcome skipTarget(Reporter& reporter, const char* message) {
    reporter.info(message);
    RequestOutcome outcome;
    outcome.kind = RequestOutcome::Kind::Skipped;
    return outcome;
}

}  // namespace

void runDelete(RunContext& run, const DnList& targets) {
    run.reporter.info("Deleting specified objects...\n");
    ServerControls deleteControls;
    std::unique_ptr<LdapConnection>& handle = run.session.handle;
    if (run.settings.treeDelete) {
        deleteControls.push_back(ServerControl{kTreeDeleteOid, "", true});
        handle = treeDeleteRounds(std::move(handle), run.reporter);
    }
    processTargets(run, targets, LoopVariant{}, [&](const std::string& dn) {
        RequestOutcome outcome;
        outcome.sendCode = handle->sendDelete(dn, deleteControls, outcome.messageId);
        return outcome;
    });
}

void runMove(RunContext& run, const DnList& targets) {
    run.reporter.info("Moving specified objects to " + terminalDn(run.settings.newParent) +
                      "...\n");
    LoopVariant variant;
    variant.stopMessage = kMoveStopMessage;
    processTargets(run, targets, variant, [&](const std::string& dn) {
        const auto components = explodeDn(dn);
        if (!components) {
            return refuseNonDn(run.reporter);
        }
        RequestOutcome outcome;
        outcome.sendCode = run.session.handle->sendRename(
            dn, components->front(), run.settings.newParent, true, {}, outcome.messageId);
        return outcome;
    });
}

void runRename(RunContext& run, const DnList& targets) {
    const std::string& dn = targets.front();
    const std::string& newName = run.settings.newRdn;
    run.reporter.info("Renaming " + terminalDn(dn) + " to " + terminalDn(newName) + "...\n");
    LoopVariant variant;
    variant.progressLine = false;
    variant.stopMessage = "";
    processTargets(run, {dn}, variant, [&](const std::string& target) {
        const auto components = explodeDn(target);
        if (!components) {
            return refuseNonDn(run.reporter);
        }
        const std::string newRdn = rdnType(components->front()) + "=" + newName;
        // A DN of one component has no parent: the object is renamed where it stands, not
        // under itself.
        RequestOutcome outcome;
        outcome.sendCode = run.session.handle->sendRename(target, newRdn, parentDn(*components),
                                                          true, {}, outcome.messageId);
        return outcome;
    });
}

void runUndelete(RunContext& run, const DnList& targets) {
    Reporter& reporter = run.reporter;
    reporter.info("Undeleting specified objects...\n");
    const ServerControls showDeleted{ServerControl{kShowDeletedOid, "", true}};
    processTargets(run, targets, LoopVariant{}, [&](const std::string& dn) {
        // Checked first: a target that is not a DN is not even looked up.
        const auto components = explodeDn(dn);
        if (!components) {
            return refuseNonDn(reporter);
        }
        std::string parent = run.settings.newParent;
        if (parent.empty()) {
            // ASCII folding only: the locale must not change the bytes of other letters.
            parent = asciiLower(lastKnownParent(reporter, run.session, dn));
            if (parent.empty()) {
                return skipTarget(reporter,
                                  "ERROR: Can't determine Last Known Parent, skipping...\n");
            }
            if (parent.find(",cn=deleted objects,") != std::string::npos) {
                return skipTarget(
                    reporter, "ERROR: ,cn=Deleted Objects, in Last Known Parent, skipping...\n");
            }
        }
        std::string rdn = components->front();
        if (const auto mangling = asciiLower(rdn).find("\\0adel:"); mangling != std::string::npos) {
            rdn.resize(mangling);
        }

        // Remove the deleted marker and give the object its new name, in one request.
        const Modification mods[] = {
            {ModOperation::Delete, "isdeleted", {}, false},
            {ModOperation::Replace, "distinguishedName", {rdn + "," + parent}, false},
        };
        RequestOutcome outcome;
        outcome.sendCode = run.session.handle->sendModifications(
            ModificationRequest::Modify, dn, mods, showDeleted, outcome.messageId);
        return outcome;
    });
}

}  // namespace kestrel
