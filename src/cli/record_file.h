// -f FILE and -revert FILE on the command line: what they cannot be combined with, and the
// file's records, all refused before connecting.
#pragma once

#include <cstddef>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "cli/refusal.h"
#include "cli/switch_table.h"
#include "ldif/ldif_reader.h"
#include "ops/record_source.h"
#include "ops/run_settings.h"
#include "util/reporter.h"

namespace kestrel {

inline bool appliesRecordFile(RunMode mode) {
    return mode == RunMode::ApplyRecords || mode == RunMode::Revert;
}

// The refusal of a run that names -f or -revert with something else that would say which
// objects to change or how: the other of the two, -b or -rootdse, a mode switch (-add only
// goes with -f) or attribute-actions; or without a file name. Nothing when the run may go on.
Verdict recordFileRefusal(const SwitchTable& switches, const RunSettings& settings);

// What the run needs to know of its file's records before it connects.
struct RecordSummary {
    std::size_t count = 0;
    bool carriesPassword = false;  // a record writes one: the run is sealed
};

// The records of the run's file, "-" being standard input for -f, every one read and
// checked; a file is then read again a part at a time as it is applied. False after an
// ERROR line naming the file and, for a record that cannot be taken, its first line.
bool loadRecordFile(Reporter& reporter, const RunSettings& settings, std::istream& input,
                    std::unique_ptr<RecordSource>& records, RecordSummary& summary);

}  // namespace kestrel
