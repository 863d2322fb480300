#include "cli/record_file.h"

#include <algorithm>
#include <iterator>

#include "attr/password_attribute.h"
#include "cli/record_parts.h"
#include "util/secret_memory.h"

namespace kestrel {
namespace {

const char* switchOf(const RunSettings& settings) {
    return settings.mode == RunMode::Revert ? "-revert" : "-f";
}

std::string fileName(const RunSettings& settings) {
    return settings.mode == RunMode::ApplyRecords && settings.recordFile == "-"
               ? "standard input"
               : settings.recordFile;
}

std::string kindOfFile(const RunSettings& settings) {
    return settings.mode == RunMode::Revert ? "the undo journal " : "the LDIF file ";
}

bool writesPassword(const LdifRecord& record) {
    return std::any_of(
        record.modifications.begin(), record.modifications.end(),
        [](const Modification& modification) { return carriesPassword(modification.attribute); });
}

std::string explained(const RunSettings& settings, const LdifProblem& problem) {
    switch (problem.kind) {
        case LdifProblem::Kind::NoChangeType:
            return settings.mode == RunMode::Revert
                       ? problem.reason + ", which no undo journal holds"
                       : problem.reason + "; -f adds entries only with -add";
        case LdifProblem::Kind::ReadsFile:
            return problem.reason + ", which a change file must not do";
        case LdifProblem::Kind::Malformed:
        case LdifProblem::Kind::NotSendable:
            break;
    }
    return problem.reason;
}

}  // namespace

Verdict recordFileRefusal(const SwitchTable& switches, const RunSettings& settings) {
    const std::string self = switchOf(settings);
    if (settings.recordFile.empty()) {
        return Refusal::nothingSent(self + (settings.mode == RunMode::Revert
                                                ? " needs the name of an undo journal."
                                                : " needs the name of an LDIF file (- for "
                                                  "standard input)."));
    }
    std::vector<const char*> others{"rootdse",    "b",      "rm",   "del",
                                    "treedelete", "rename", "move", "undel"};
    if (settings.mode == RunMode::Revert) {
        others.push_back("add");
    } else {
        others.insert(others.begin(), "revert");
    }
    std::string other;
    for (const char* name : others) {
        if (switches.has(name)) {
            other = std::string("-") + name;
            break;
        }
    }
    if (other.empty() && !switches.positionals().empty()) {
        other = "attribute-actions";
    }
    if (other.empty()) {
        return std::nullopt;
    }
    return Refusal::nothingSent(
        self + " applies the records of its file; it cannot be combined with " + other + ".");
}

bool loadRecordFile(Reporter& reporter, const RunSettings& settings, std::istream& input,
                    std::unique_ptr<RecordSource>& records, RecordSummary& summary) {
    std::optional<unsigned long> rootDse;  // the first record with an empty DN
    const auto check = [&](const LdifRecord& record) {
        ++summary.count;
        summary.carriesPassword = summary.carriesPassword || writesPassword(record);
        if (record.dn.empty() && !rootDse) {
            rootDse = record.line;
        }
    };
    std::string why;
    std::optional<LdifProblem> problem;
    if (settings.mode == RunMode::ApplyRecords && settings.recordFile == "-") {
        std::string text(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>{});
        if (input.bad()) {
            why = "the read failed";
        } else if (LdifReadResult result = readLdifRecords(text, settings.entriesAreAdds);
                   !result.ok) {
            problem = result.problem;
        } else {
            std::for_each(result.records.begin(), result.records.end(), check);
            records = std::make_unique<RecordsInMemory>(std::move(result.records));
        }
        wipeText(text);
    } else {
        records = RecordFileParts::scan(settings.recordFile, settings.entriesAreAdds, check, why,
                                        problem);
    }
    if (problem) {
        reporter.notice(nothingSentLine(fileName(settings) + ", line " +
                                        std::to_string(problem->line) + ": " +
                                        explained(settings, *problem) + "."));
        records.reset();
        return false;
    }
    if (!records) {
        reporter.notice(nothingSentLine("Cannot read " + kindOfFile(settings) + fileName(settings) +
                                        ": " + why + "."));
        return false;
    }
    // An empty DN names the RootDSE: in a generated file it is far more likely a lookup that
    // found nothing than a request meant for the server's root entry.
    if (rootDse) {
        reporter.notice(nothingSentLine(fileName(settings) + ", line " + std::to_string(*rootDse) +
                                        ": the DN is empty, which names the RootDSE; use "
                                        "-rootdse for it."));
        records.reset();  // a refused file gives the run nothing to apply
        return false;
    }
    return true;
}

}  // namespace kestrel
