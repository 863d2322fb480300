// -f FILE and -revert FILE on the command line: what they cannot be combined with, and the
// file's records, all refused before connecting.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "cli/switch_table.h"
#include "ops/run_settings.h"
#include "session/ldif_reader.h"
#include "util/reporter.h"

namespace kestrel {

inline bool appliesRecordFile(RunMode mode) {
    return mode == RunMode::ApplyRecords || mode == RunMode::Revert;
}

// The refusal ("ERROR: ... Nothing was sent.\n") of a run that names -f or -revert with
// something else that would say which objects to change or how: the other of the two, -b
// or -rootdse, a mode switch (-add only goes with -f) or attribute-actions; or without a
// file name. Nothing when the run may go on.
std::optional<std::string> recordFileRefusal(const SwitchTable& switches,
                                             const RunSettings& settings);

// The records of the run's file, "-" being standard input for -f. False after an ERROR
// line naming the file and, for a record that cannot be taken, its first line.
bool loadRecordFile(Reporter& reporter, const RunSettings& settings, std::istream& input,
                    std::vector<LdifRecord>& records);

// True when a record writes a password: the run is then sealed, as for an attribute-action.
bool recordsCarryPassword(const std::vector<LdifRecord>& records);

}  // namespace kestrel
