#include "cli/driver.h"

#include <algorithm>
#include <optional>
#include <sstream>

#include "attr/attr_action_parser.h"
#include "attr/password_attribute.h"
#include "cli/bind_password.h"
#include "cli/csv_targets.h"
#include "cli/record_file.h"
#include "cli/settings_reader.h"
#include "cli/switch_list.h"
#include "cli/switch_table.h"
#include "cli/target_list.h"
#include "cli/usage_text.h"
#include "connection/ldap_session.h"
#include "connection/root_dse.h"
#include "ops/apply_records.h"
#include "ops/dry_run.h"
#include "ops/modification_list.h"
#include "ops/modify_and_add.h"
#include "ops/permissive_modify.h"
#include "ops/process_targets.h"
#include "ops/relocate_objects.h"
#include "undo/journaling_password_setter.h"
#include "undo/undo_attributes.h"
#include "undo/undo_journal.h"
#include "util/exit_status.h"
#include "util/ldif_comment.h"
#include "util/terminal_text.h"

namespace kestrel {
namespace {

void printBanner(Reporter& reporter) {
    if (reporter.quiet) {
        return;
    }
    reporter.problem(std::string("\nKestrel ") + kVersionText + " by the Kestrel developers " +
                     kBuildMonth + "\n\n");
}

int reportBadSwitches(Reporter& reporter, const SwitchTable& switches) {
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
    reporter.problem(report + "\n\n");
    return printUsageHint(reporter);
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

void runMode(RunContext& run, const DnList& targets, const ModificationSet& set,
             RecordSource* records, const CsvRows& rows) {
    if (run.settings.csvGiven) {
        const ActionSyntax syntax{run.settings.attrDelimiter, run.settings.mvDelimiter,
                                  run.settings.mode == RunMode::Add};
        const RowChanges changes{set, rows.actions, syntax};
        if (syntax.addMode) {
            runAddRows(run, targets, changes);
        } else {
            runModifyRows(run, targets, changes);
        }
        return;
    }
    switch (run.settings.mode) {
        case RunMode::ApplyRecords:
            runApplyRecords(run, *records);
            break;
        case RunMode::Revert:
            runRevert(run, *records);
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

// What is wrong with -binddn and -pwfile as given, or nothing.
const char* credentialsProblem(const RunSettings& settings) {
    if (settings.passwordFileGiven && !settings.bindDnGiven) {
        return "-pwfile names the file holding the password of -binddn, which is missing.";
    }
    if (settings.passwordFileGiven && settings.passwordFile.empty()) {
        return "-pwfile needs the name of the file holding the password.";
    }
    if (settings.bindDnGiven && settings.bindDn.empty()) {
        return "-binddn needs the name to bind as (a DN, or user@domain).";
    }
    return nullptr;
}

// Why -permissive cannot go with the run's mode, or nothing: it changes modify requests,
// and only modifying objects (from the command line or -f) sends ones it means something
// for.
const char* permissiveProblem(const RunSettings& settings) {
    if (!settings.permissive || settings.mode == RunMode::Modify ||
        settings.mode == RunMode::ApplyRecords) {
        return nullptr;
    }
    if (settings.mode == RunMode::Revert) {
        return "-permissive does not go with -revert: each record of a journal must apply "
               "exactly, or fail where the object changed since the run.";
    }
    return "-permissive is for modifying objects (by default, or with -f); -add, -rm, -move, "
           "-rename and -undel send no modify it would change.";
}

// While the run's session is open, the password step's sessions follow it; afterwards the
// credentials they point to are gone.
class SecurityInUse {
  public:
    SecurityInUse(SessionSecurity* security, TlsMode tls, const BindCredentials* credentials)
        : security_(security) {
        if (security_ != nullptr) {
            *security_ = SessionSecurity{tls, credentials};
        }
    }
    ~SecurityInUse() {
        if (security_ != nullptr) {
            *security_ = SessionSecurity{};
        }
    }
    SecurityInUse(const SecurityInUse&) = delete;
    SecurityInUse& operator=(const SecurityInUse&) = delete;

  private:
    SessionSecurity* security_;
};

// Everything after the switches are read; `results` learns the size of the target list
// once it is known.
std::int32_t runJob(SwitchTable& switches, std::istream& input, Reporter& reporter,
                    DriverServices& services, ResultLines& results) {
    printBanner(reporter);
    if (switches.validate() != 0) {
        return reportBadSwitches(reporter, switches);
    }
    if (switches.has("help") || switches.has("?")) {
        return printUsage(reporter);
    }
    if (switches.empty() && switches.positionals().empty()) {
        return printUsage(reporter);
    }

    RunSettings settings = readRunSettings(reporter, switches);
    if (settings.csvGiven) {
        if (const std::optional<std::string> refusal = csvRefusal(switches, settings)) {
            reporter.notice(*refusal);
            return -1;
        }
    }
    if (settings.mode == RunMode::None) {
        if (switches.positionals().empty() && !settings.csvGiven) {
            return printUsage(reporter);
        }
        settings.mode = RunMode::Modify;
    }
    if (settings.window < 1 || settings.window > kMaxWindow) {
        // Not clamped: a typo would otherwise run with a window nobody asked for.
        reporter.notice("ERROR: -window needs a whole number from 1 to " +
                        std::to_string(kMaxWindow) + ". Nothing was sent.\n");
        return -1;
    }
    if (settings.undoGiven && (settings.undoFile.empty() || settings.dryRun)) {
        reporter.notice(settings.dryRun
                            ? "ERROR: -undo journals the changes a run makes; a -dryrun makes "
                              "none. Nothing was sent.\n"
                            : "ERROR: -undo needs the name of a new journal file. Nothing was "
                              "sent.\n");
        return -1;
    }
    if (const char* why = permissiveProblem(settings)) {
        reporter.notice(std::string("ERROR: ") + why + " Nothing was sent.\n");
        return -1;
    }
    if (const char* why = credentialsProblem(settings)) {
        reporter.notice(std::string("ERROR: ") + why + " Nothing was sent.\n");
        return -1;
    }
    if (settings.mode == RunMode::Move && settings.newParent.empty()) {
        // "-move $UNSET": without a new parent the request would be a rename in place
        // reported as a successful move (and the server refuses an empty one anyway).
        reporter.notice("ERROR: -move needs the DN of the new parent. Nothing was sent.\n");
        return -1;
    }
    const bool recordFile = appliesRecordFile(settings.mode);
    if (recordFile) {
        if (const std::optional<std::string> refusal = recordFileRefusal(switches, settings)) {
            reporter.notice(*refusal);
            return -1;
        }
    }

    ModificationSet modifications;
    const ActionSyntax syntax{settings.attrDelimiter, settings.mvDelimiter,
                              settings.mode == RunMode::Add};
    const ActionParseOutcome parsed =
        parseAttributeActions(reporter, switches.positionals(), syntax, modifications);
    // Everything the run needs from the command line is in the settings and the set now.
    switches.wipe();
    if (parsed.binaryFailed) {
        reporter.notice("ERROR: Binary conversion failure. Terminating Program.\n");
        return parsed.binaryStatus;
    }
    if (!parsed.wellFormed) {
        reporter.notice("\n");
        return printUsage(reporter);
    }
    if (settings.permissive && !modifications.bitChanges.empty()) {
        // The delete of the exact value read is what makes a value changed since the read
        // fail; the permissive control would make that delete a silent success.
        reporter.notice(
            "ERROR: -permissive does not go with setbits or clearbits: a value "
            "changed since it was read must fail, not be overwritten. Nothing "
            "was sent.\n");
        return -1;
    }

    std::unique_ptr<RecordSource> records;
    RecordSummary recordSummary;
    if (recordFile && !loadRecordFile(reporter, settings, input, records, recordSummary)) {
        return -1;
    }
    CsvRows rows;
    if (settings.csvGiven && !loadCsvRows(reporter, settings, syntax, modifications, input, rows)) {
        return -1;
    }
    const DnList targets = recordFile          ? DnList{}
                           : settings.csvGiven ? std::move(rows.targets)
                                               : collectTargets(reporter, settings, input);
    results.targets = recordFile ? recordSummary.count : targets.size();
    if (const TargetCheck check = checkTargetCount(reporter, settings, results.targets);
        !check.goOn) {
        return check.exitStatus;
    }
    const bool sendsModifications =
        settings.mode == RunMode::Modify || settings.mode == RunMode::Add;
    if (sendsModifications &&
        !checkModificationSet(reporter, modifications, settings.mode == RunMode::Add)) {
        return -1;
    }

    std::unique_ptr<UndoJournal> journal;
    if (settings.undoGiven) {
        std::string why;
        journal = UndoJournal::create(settings.undoFile, why);
        if (!journal) {
            // Never overwritten: an existing journal may be the only way back from a run.
            reporter.notice("ERROR: Cannot create the undo journal " + settings.undoFile + ": " +
                            why + ". Nothing was sent.\n");
            return -1;
        }
    }

    reporter.trace("Opening TCP connection\n");
    ConnectSettings connect;
    if (!settings.host.empty()) {
        connect.server = settings.host;
    }
    connect.port = settings.port;
    // A password travels only sealed, whether or not -kerbenc was given.
    const bool recordsWritePasswords = recordSummary.carriesPassword || rows.writesPasswords;
    if (recordsWritePasswords && services.protectSecrets) {
        services.protectSecrets();
    }
    connect.encrypt = settings.kerberosEncryption ||
                      (sendsModifications && carriesAnyPassword(modifications)) ||
                      recordsWritePasswords;
    connect.timeoutSeconds = settings.timeoutSeconds;
    connect.startTls = settings.startTls;
    connect.locator = services.locator;
    // Wiped when the run ends; the password is read only once the bind will go over TLS.
    std::optional<BindCredentials> credentials;
    if (settings.bindDnGiven) {
        credentials.emplace();
        credentials->dn = settings.bindDn;
        credentials->readPassword = [&reporter, &settings, &services](std::string& password) {
            // From here on a copy of the password is in memory.
            if (services.protectSecrets) {
                services.protectSecrets();
            }
            return readBindPassword(reporter, settings, password);
        };
        connect.credentials = &*credentials;
    }
    std::optional<LdapSession> session = openSession(reporter, services.ldap, connect);
    if (!session) {
        reporter.problem("Terminating program.\n");
        return -1;
    }
    const SecurityInUse security(services.security, session->tls,
                                 credentials ? &*credentials : nullptr);

    reporter.trace("DEBUG: Gathering RootDSE\n");
    RootDseInfo rootDse;
    gatherRootDse(reporter, *session, rootDse);
    if (!rootDse.valid) {
        closeSession(*session);
        reporter.problem("ERROR: Couldn't gather RootDSE Info...\nTerminating program.\n");
        return -1;
    }
    reporter.info("Using server: " + terminalText(rootDse.dnsHostName) + "\n");
    reporter.trace("DEBUG: RootDSE Completed\n");

    // From here on a dry run reads as a real one does, but writes only LDIF.
    PreviewPasswordSetter previewPasswords;
    PasswordSetter* passwords = &services.passwords;
    if (settings.dryRun) {
        session->handle = previewConnection(std::move(session->handle), reporter);
        passwords = &previewPasswords;
    }
    std::optional<JournalingPasswordSetter> journalingPasswords;
    if (journal) {
        session->handle = journalingConnection(std::move(session->handle), *journal, reporter,
                                               undoAttributes(rootDse.schemaNamingContext));
        passwords = &journalingPasswords.emplace(services.passwords, *journal);
    }
    if (settings.permissive) {
        session->handle = permissiveConnection(std::move(session->handle));
    }

    RunTimer timer(services.clock);
    timer.start();
    RunContext run{reporter, settings, *session, rootDse.dnsHostName, passwords};
    run.preview = settings.dryRun;
    run.results = results;
    std::optional<ProgressLine> progress;
    if (services.stderrIsTerminal && (reporter.quiet || reporter.json)) {
        reporter.statusSharesTerminal = services.stdoutIsTerminal;
        run.progress = &progress.emplace(reporter, run.clock, results.targets);
    }
    runMode(run, targets, modifications, records.get(), rows);
    progress.reset();
    results = run.results;
    printElapsed(reporter, settings, timer);
    closeSession(*session);

    reporter.info(run.lastError == 0 ? "\nThe command completed successfully\n\n"
                                     : "\nThe command did not complete successfully\n\n");
    if (settings.dryRun) {
        reporter.block(ldifComment(kNothingSentText));
    }
    return run.lastError;
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
