#include "cli/switch_refusals.h"

#include <string>

#include "cli/csv_targets.h"
#include "cli/record_file.h"
#include "cli/settings_reader.h"

namespace kestrel {
namespace {

Verdict badSwitches(const SwitchTable& switches) {
    std::string report;
    if (!switches.missingSwitches().empty()) {
        report += "ERROR: Missing Command Line Arg(s)\n";
        for (const std::string& name : switches.missingSwitches()) {
            report += "ERROR:  " + name + "\n";
        }
    }
    if (!switches.unknownSwitches().empty()) {
        report += "ERROR: Bad Command Line Arg(s)\n";
        for (const std::string& name : switches.unknownSwitches()) {
            report += "ERROR:  " + name + "\n";
        }
    }
    return Refusal::usageHint(report + "\n\n");
}

Verdict windowRefusal(const RunSettings& settings) {
    if (settings.window >= 1 && settings.window <= kMaxWindow) {
        return std::nullopt;
    }
    // Not clamped: a typo would otherwise run with a window nobody asked for.
    return Refusal::nothingSent("-window needs a whole number from 1 to " +
                                std::to_string(kMaxWindow) + ".");
}

Verdict undoRefusal(const RunSettings& settings) {
    if (!settings.undoGiven) {
        return std::nullopt;
    }
    if (settings.dryRun) {
        return Refusal::nothingSent(
            "-undo journals the changes a run makes; a -dryrun makes none.");
    }
    if (settings.undoFile.empty()) {
        return Refusal::nothingSent("-undo needs the name of a new journal file.");
    }
    return std::nullopt;
}

// -permissive changes modify requests, and only modifying objects (from the command line
// or -f) sends ones it means something for.
Verdict permissiveRefusal(const RunSettings& settings) {
    if (!settings.permissive || settings.mode == RunMode::Modify ||
        settings.mode == RunMode::ApplyRecords) {
        return std::nullopt;
    }
    if (settings.mode == RunMode::Revert) {
        return Refusal::nothingSent(
            "-permissive does not go with -revert: each record of a journal must apply "
            "exactly, or fail where the object changed since the run.");
    }
    return Refusal::nothingSent(
        "-permissive is for modifying objects (by default, or with -f); -add, -rm, -move, "
        "-rename and -undel send no modify it would change.");
}

Verdict credentialsRefusal(const RunSettings& settings) {
    if (settings.passwordFileGiven && !settings.bindDnGiven) {
        return Refusal::nothingSent(
            "-pwfile names the file holding the password of -binddn, which is missing.");
    }
    if (settings.passwordFileGiven && settings.passwordFile.empty()) {
        return Refusal::nothingSent("-pwfile needs the name of the file holding the password.");
    }
    if (settings.bindDnGiven && settings.bindDn.empty()) {
        return Refusal::nothingSent("-binddn needs the name to bind as (a DN, or user@domain).");
    }
    return std::nullopt;
}

Verdict moveRefusal(const RunSettings& settings) {
    if (settings.mode != RunMode::Move || !settings.newParent.empty()) {
        return std::nullopt;
    }
    // "-move $UNSET": without a new parent the request would be a rename in place reported
    // as a successful move (and the server refuses an empty one anyway).
    return Refusal::nothingSent("-move needs the DN of the new parent.");
}

// The checks of the settings alone, in the order they are made: the first refusal wins.
constexpr Verdict (*kSettingChecks[])(const RunSettings&) = {
    windowRefusal, undoRefusal, permissiveRefusal, credentialsRefusal, moveRefusal,
};

// Without a mode switch the run modifies, when there is something to modify with.
Verdict settleMode(const SwitchTable& switches, RunSettings& settings) {
    if (settings.mode != RunMode::None) {
        return std::nullopt;
    }
    if (switches.positionals().empty() && !settings.csvGiven) {
        return Refusal::usageText();
    }
    settings.mode = RunMode::Modify;
    return std::nullopt;
}

}  // namespace

Verdict readCheckedSettings(Reporter& reporter, SwitchTable& switches, RunSettings& settings) {
    if (switches.validate() != 0) {
        return badSwitches(switches);
    }
    if (switches.has("help") || switches.has("?") ||
        (switches.empty() && switches.positionals().empty())) {
        return Refusal::usageText();
    }
    settings = readRunSettings(reporter, switches);
    if (settings.csvGiven) {
        if (Verdict refusal = csvRefusal(switches, settings)) {
            return refusal;
        }
    }
    if (Verdict refusal = settleMode(switches, settings)) {
        return refusal;
    }
    for (const auto check : kSettingChecks) {
        if (Verdict refusal = check(settings)) {
            return refusal;
        }
    }
    if (appliesRecordFile(settings.mode)) {
        return recordFileRefusal(switches, settings);
    }
    return std::nullopt;
}

}  // namespace kestrel
