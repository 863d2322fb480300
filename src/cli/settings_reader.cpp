#include "cli/settings_reader.h"

#include <charconv>
#include <system_error>

#include "util/ascii_case.h"
#include "util/leading_number.h"

namespace kestrel {
namespace {

// "RootDSE", "rootdse" and "rootdse,dc=x" all name the server's root entry.
bool namesRootDse(const std::string& baseDn) {
    return asciiLower(baseDn).starts_with("rootdse");
}

// The -window value: decimal digits only, else 0; the driver refuses it with the values
// out of range (a value too large for a number is kept too large, never wrapped).
std::int32_t readWindow(const std::string& text) {
    const char* const end = text.data() + text.size();
    std::int32_t value = 0;
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || text.front() < '0' || text.front() > '9' || stop != end) {
        return 0;
    }
    return error == std::errc::result_out_of_range ? kMaxWindow + 1 : value;
}

// Where the targets come from besides standard input: -csv, a table of them, or -b and
// -rootdse, the one named on the command line (-f and -revert choose the mode too).
void readTargetSource(Reporter& reporter, SwitchTable& switches, RunSettings& settings) {
    settings.csvGiven = switches.has("csv");
    settings.csvFile = switches.value("csv");
    if (switches.has("rootdse")) {
        switches.setValue("b", "rootdse");
    }
    if (!switches.has("b")) {
        return;
    }
    settings.baseDn = switches.value("b");
    if (namesRootDse(settings.baseDn)) {
        // Shown even when quiet: the run is about to touch the server's root entry.
        // -f and -revert refuse -b and -rootdse instead.
        if (!switches.has("f") && !switches.has("revert")) {
            reporter.notice("Modifying ROOTDSE...\n");
        }
        // Two double quotes: quote removal in collectTargets leaves the empty DN.
        settings.baseDn = "\"\"";
    }
    settings.baseDnGiven = true;
}

// Where the server is, how long to wait for it, how the session is protected and whom
// it binds as.
void readConnection(const SwitchTable& switches, RunSettings& settings) {
    settings.host = switches.value("h");
    if (switches.has("p")) {
        settings.port = readNumber(switches.value("p"));
    }
    if (switches.has("t")) {
        settings.timeoutSeconds = readNumber(switches.value("t"));
    }
    settings.kerberosEncryption = switches.has("kerbenc");
    settings.startTls = switches.has("starttls");
    settings.bindDnGiven = switches.has("binddn");
    settings.bindDn = switches.value("binddn");
    settings.passwordFileGiven = switches.has("pwfile");
    settings.passwordFile = switches.value("pwfile");
}

// What the run shows beyond each target's outcome.
void readOutput(const SwitchTable& switches, RunSettings& settings) {
    settings.showElapsedSeconds = switches.has("elapsed");
    settings.showElapsedMs = switches.has("elapsedms");
    settings.showExtendedError = switches.has("exterr");
}

// How the requests are made and sent, and what stops the run.
void readRequests(const SwitchTable& switches, RunSettings& settings) {
    if (switches.has("safety")) {
        settings.safetyLimit = readNumber(switches.value("safety"));
    }
    if (switches.has("unsafe")) {
        settings.safetyLimit = -1;
    }
    settings.treeDelete = switches.has("treedelete");
    settings.continueOnError = switches.has("cont");
    if (switches.has("delim")) {
        settings.attrDelimiter = switches.value("delim");
    }
    if (switches.has("mvdelim")) {
        settings.mvDelimiter = switches.value("mvdelim");
    }
    if (switches.has("window")) {
        settings.window = readWindow(switches.value("window"));
    }
    settings.permissive = switches.has("permissive");
}

// Besides the real run: a preview (-dryrun) or a journal of its changes (-undo).
void readPreviewAndJournal(const SwitchTable& switches, RunSettings& settings) {
    settings.dryRun = switches.has("dryrun");
    settings.undoGiven = switches.has("undo");
    settings.undoFile = switches.value("undo");
}

// First match wins; the values of the losing mode switches are not read. -f and -revert
// come first: what they cannot be combined with is refused before connecting.
void readMode(const SwitchTable& switches, RunSettings& settings) {
    if (switches.has("f")) {
        settings.mode = RunMode::ApplyRecords;
        settings.recordFile = switches.value("f");
        settings.entriesAreAdds = switches.has("add");
    } else if (switches.has("revert")) {
        settings.mode = RunMode::Revert;
        settings.recordFile = switches.value("revert");
    } else if (switches.has("rm") || switches.has("del")) {
        settings.mode = RunMode::Delete;
    } else if (switches.has("rename")) {
        settings.mode = RunMode::Rename;
        settings.newRdn = switches.value("rename");
    } else if (switches.has("move")) {
        settings.mode = RunMode::Move;
        settings.newParent = switches.value("move");
    } else if (switches.has("undel")) {
        settings.mode = RunMode::Undelete;
        settings.newParent = switches.value("undel");
    } else if (switches.has("add")) {
        settings.mode = RunMode::Add;
    }
}

}  // namespace

std::int32_t readNumber(std::string_view text) {
    return leadingNumber(text);
}

RunSettings readRunSettings(Reporter& reporter, SwitchTable& switches) {
    RunSettings settings;
    readConnection(switches, settings);
    readTargetSource(reporter, switches, settings);
    readOutput(switches, settings);
    readRequests(switches, settings);
    readPreviewAndJournal(switches, settings);
    readMode(switches, settings);
    return settings;
}

}  // namespace kestrel
