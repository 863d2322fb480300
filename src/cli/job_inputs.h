// What a run works through, read and checked before it connects: the command line's
// attribute-actions, then the records of -f or -revert, the rows of -csv or the target DNs.
#pragma once

#include <cstddef>
#include <istream>
#include <memory>

#include "attr/attr_action_parser.h"
#include "attr/modification_set.h"
#include "cli/csv_targets.h"
#include "cli/record_file.h"
#include "cli/refusal.h"
#include "cli/switch_table.h"
#include "ops/record_source.h"
#include "ops/run_settings.h"
#include "util/reporter.h"

namespace kestrel {

struct JobInputs {
    ModificationSet modifications;          // the command line's attribute-actions
    std::unique_ptr<RecordSource> records;  // -f and -revert
    RecordSummary recordSummary;
    CsvRows rows;    // -csv: each row's actions (its DN is in `targets`)
    DnList targets;  // empty for -f and -revert, which apply their records
    // A record or row writes a password: one is read into memory from a file.
    bool readsPasswords = false;
    // Some request carries a password: the session must be sealed.
    bool sendsPasswords = false;
};

// How attribute-actions are read in this run, from the command line or a -csv cell.
ActionSyntax actionSyntaxOf(const RunSettings& settings);

// Reads and checks everything the run works through; `targetCount` learns the size of the
// target list as soon as it is known, whatever follows. The switches are wiped once the
// attribute-actions are read from them.
Verdict loadJobInputs(Reporter& reporter, SwitchTable& switches, const RunSettings& settings,
                      std::istream& input, JobInputs& inputs, std::size_t& targetCount);

}  // namespace kestrel
