#include "cli/job_inputs.h"

#include <algorithm>
#include <string>
#include <utility>

#include "attr/password_attribute.h"
#include "cli/target_list.h"
#include "ops/modification_list.h"

namespace kestrel {
namespace {

// Whether any modification of the set carries a password, whatever its operation: a
// password change is a removal of the old value plus an add of the new one.
bool carriesAnyPassword(const ModificationSet& set) {
    const auto inMember = [](const auto& member) {
        return std::any_of(member.begin(), member.end(),
                           [](const auto& entry) { return carriesPassword(entry.first); });
    };
    return std::any_of(set.clears.begin(), set.clears.end(),
                       [](const std::string& name) { return carriesPassword(name); }) ||
           inMember(set.removeValues) || inMember(set.replaceValues) || inMember(set.addValues) ||
           inMember(set.removeBinary) || inMember(set.replaceBinary) || inMember(set.addBinary);
}

bool sendsModifications(const RunSettings& settings) {
    return settings.mode == RunMode::Modify || settings.mode == RunMode::Add;
}

Verdict readAttributeActions(Reporter& reporter, SwitchTable& switches, const RunSettings& settings,
                             ModificationSet& set) {
    const ActionParseOutcome parsed =
        parseAttributeActions(reporter, switches.positionals(), actionSyntaxOf(settings), set);
    // Everything the run needs from the command line is in the settings and the set now.
    switches.wipe();
    if (parsed.binaryFailed) {
        return Refusal::saying("ERROR: Binary conversion failure. Terminating Program.\n",
                               parsed.binaryStatus);
    }
    if (!parsed.wellFormed) {
        return Refusal::usageText("\n");
    }
    if (settings.permissive && !set.bitChanges.empty()) {
        // The delete of the exact value read is what makes a value changed since the read
        // fail; the permissive control would make that delete a silent success.
        return Refusal::nothingSent(
            "-permissive does not go with setbits or clearbits: a value changed since it was "
            "read must fail, not be overwritten.");
    }
    return std::nullopt;
}

// The records, the rows or the DNs the run goes through; their own loaders write what is
// wrong with them as they find it.
Verdict readTargets(Reporter& reporter, const RunSettings& settings, std::istream& input,
                    JobInputs& inputs) {
    if (appliesRecordFile(settings.mode)) {
        if (!loadRecordFile(reporter, settings, input, inputs.records, inputs.recordSummary)) {
            return Refusal::alreadyWritten();
        }
        return std::nullopt;
    }
    if (settings.csvGiven) {
        if (!loadCsvRows(reporter, settings, actionSyntaxOf(settings), inputs.modifications, input,
                         inputs.rows)) {
            return Refusal::alreadyWritten();
        }
        inputs.targets = std::move(inputs.rows.targets);
        return std::nullopt;
    }
    inputs.targets = collectTargets(reporter, settings, input);
    return std::nullopt;
}

}  // namespace

ActionSyntax actionSyntaxOf(const RunSettings& settings) {
    return ActionSyntax{settings.attrDelimiter, settings.mvDelimiter,
                        settings.mode == RunMode::Add};
}

Verdict loadJobInputs(Reporter& reporter, SwitchTable& switches, const RunSettings& settings,
                      std::istream& input, JobInputs& inputs, std::size_t& targetCount) {
    if (Verdict refusal =
            readAttributeActions(reporter, switches, settings, inputs.modifications)) {
        return refusal;
    }
    if (Verdict refusal = readTargets(reporter, settings, input, inputs)) {
        return refusal;
    }
    targetCount =
        appliesRecordFile(settings.mode) ? inputs.recordSummary.count : inputs.targets.size();
    if (Verdict refusal = checkTargetCount(reporter, settings, targetCount)) {
        return refusal;
    }
    if (sendsModifications(settings) &&
        !checkModificationSet(reporter, inputs.modifications, settings.mode == RunMode::Add)) {
        return Refusal::alreadyWritten();
    }
    inputs.readsPasswords = inputs.recordSummary.carriesPassword || inputs.rows.writesPasswords;
    inputs.sendsPasswords = inputs.readsPasswords || (sendsModifications(settings) &&
                                                      carriesAnyPassword(inputs.modifications));
    return std::nullopt;
}

}  // namespace kestrel
