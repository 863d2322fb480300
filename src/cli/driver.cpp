#include "cli/driver.h"

#include <memory>
#include <optional>
#include <sstream>

#include "cli/job_connection.h"
#include "cli/job_inputs.h"
#include "cli/refusal.h"
#include "cli/session_wrappers.h"
#include "cli/switch_list.h"
#include "cli/switch_refusals.h"
#include "cli/switch_table.h"
#include "ops/apply_records.h"
#include "ops/dry_run.h"
#include "ops/modify_and_add.h"
#include "ops/process_targets.h"
#include "ops/relocate_objects.h"
#include "undo/journaling_password_setter.h"
#include "undo/undo_attributes.h"
#include "undo/undo_journal.h"
#include "util/exit_status.h"
#include "util/ldif_comment.h"

namespace kestrel {
namespace {

void printBanner(Reporter& reporter) {
    if (reporter.quiet) {
        return;
    }
    reporter.problem(std::string("\nKestrel ") + kVersionText + " by the Kestrel developers " +
                     kBuildMonth + "\n\n");
}

void printElapsed(Reporter& reporter, const RunSettings& settings, RunTimer& timer) {
    if (!settings.showElapsedSeconds && !settings.showElapsedMs) {
        return;
    }
    reporter.notice("\n");
    const auto read = [&] {
        const std::uint32_t ms = timer.elapsedMs();
        reporter.trace("Start: " + std::to_string(timer.startTick()) + "\nEnd  : " +
                       std::to_string(timer.endTick()) + "\nDelta: " + std::to_string(ms) + "\n");
        return ms;
    };
    // Each reading is taken before its line starts: in debug mode the reading writes
    // its tick lines, which must not land inside the figure's line.
    if (settings.showElapsedMs) {
        const std::uint32_t ms = read();
        reporter.notice("Elapsed MS: " + std::to_string(ms) + "\n");
    }
    if (settings.showElapsedSeconds) {
        const std::uint32_t ms = read();
        // The stream's default format for a float, as the figure has always been shown.
        std::ostringstream seconds;
        seconds << static_cast<float>(ms * 0.001);
        reporter.notice("Time Elapsed (sec): " + seconds.str() + "\n");
    }
}

void runMode(RunContext& run, const JobInputs& inputs) {
    const DnList& targets = inputs.targets;
    const ModificationSet& set = inputs.modifications;
    if (run.settings.csvGiven) {
        const ActionSyntax syntax = actionSyntaxOf(run.settings);
        const RowChanges changes{set, inputs.rows.actions, syntax};
        if (syntax.addMode) {
            runAddRows(run, targets, changes);
        } else {
            runModifyRows(run, targets, changes);
        }
        return;
    }
    switch (run.settings.mode) {
        case RunMode::ApplyRecords:
            runApplyRecords(run, *inputs.records);
            break;
        case RunMode::Revert:
            runRevert(run, *inputs.records);
            break;
        case RunMode::Delete:
            runDelete(run, targets);
            break;
        case RunMode::Move:
            runMove(run, targets);
            break;
        case RunMode::Rename:
            runRename(run, targets);
            break;
        case RunMode::Undelete:
            runUndelete(run, targets);
            break;
        case RunMode::Add:
            runAdd(run, targets, set);
            break;
        case RunMode::Modify:
        case RunMode::None:
            runModify(run, targets, set);
            break;
    }
}

// Everything a run holds from its switches to its end, each part filled by its phase. The
// members are destroyed in reverse: the session before the journal it writes to.
struct Job {
    RunSettings settings;
    JobInputs inputs;
    std::unique_ptr<UndoJournal> journal;
    JobConnection connection;
};

// The phases before the first request, in the order the run takes them; the first refusal
// ends the run. `results` learns the size of the target list once it is known.
Verdict prepareJob(Reporter& reporter, SwitchTable& switches, std::istream& input,
                   DriverServices& services, Job& job, ResultLines& results) {
    if (Verdict refusal = readCheckedSettings(reporter, switches, job.settings)) {
        return refusal;
    }
    if (Verdict refusal =
            loadJobInputs(reporter, switches, job.settings, input, job.inputs, results.targets)) {
        return refusal;
    }
    if (Verdict refusal = createUndoJournal(job.settings, job.journal)) {
        return refusal;
    }
    return connectJob(reporter, job.settings, services, job.inputs, job.connection);
}

// The mode over every target, timed, then the session closed and the completion lines.
std::int32_t runPrepared(RunContext& run, DriverServices& services, const JobInputs& inputs) {
    Reporter& reporter = run.reporter;
    RunTimer timer(services.clock);
    timer.start();
    std::optional<ProgressLine> progress;
    if (services.stderrIsTerminal && (reporter.quiet || reporter.json)) {
        reporter.statusSharesTerminal = services.stdoutIsTerminal;
        run.progress = &progress.emplace(reporter, run.clock, run.results.targets);
    }
    runMode(run, inputs);
    progress.reset();
    printElapsed(reporter, run.settings, timer);
    closeSession(run.session);

    reporter.info(run.lastError == 0 ? "\nThe command completed successfully\n\n"
                                     : "\nThe command did not complete successfully\n\n");
    if (run.settings.dryRun) {
        reporter.block(ldifComment(kNothingSentText));
    }
    return run.lastError;
}

// Everything after the switches are read; the loop writes its -json lines into `results`.
std::int32_t runJob(SwitchTable& switches, std::istream& input, Reporter& reporter,
                    DriverServices& services, ResultLines& results) {
    printBanner(reporter);
    Job job;
    if (Verdict refusal = prepareJob(reporter, switches, input, services, job, results)) {
        return writeRefusal(reporter, *refusal);
    }
    LdapSession& session = *job.connection.session;
    const RootDseInfo& rootDse = job.connection.rootDse;
    PasswordWrappers wrappers;
    PasswordSetter& passwords = wrapSession(reporter, job.settings, services.passwords,
                                            job.journal.get(), rootDse, session, wrappers);
    RunContext run{reporter, job.settings, session, rootDse.dnsHostName, results, &passwords};
    run.preview = job.settings.dryRun;
    return runPrepared(run, services, job.inputs);
}

}  // namespace

std::int32_t runKestrel(int argc, const char* const* argv, std::istream& input, Reporter& reporter,
                        DriverServices& services) {
    SwitchTable switches(argc, argv, false, kestrelSwitchList());
    if (services.forgetArguments) {
        services.forgetArguments();
    }
    reporter.quiet = switches.has("q");
    reporter.debug = switches.has("d");
    // A quiet preview is a file for ldapmodify: every line that is not a record becomes
    // a comment, from the first one on.
    reporter.ldifOnly = reporter.quiet && switches.has("dryrun") && !switches.has("json");
    // Before the first line, so that with -json every other line goes to standard error.
    reporter.json = switches.has("json");
    ResultLines results;
    const std::int32_t status = runJob(switches, input, reporter, services, results);
    results.writeSummary(reporter, processExitStatus(status));
    return status;
}

}  // namespace kestrel
