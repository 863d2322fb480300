// -csv FILE: one target per row of a CSV table, each with its own modifications: the
// command line's attribute-actions, then the row's cells read under the header's
// attribute-actions. Everything is refused before connecting.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "attr/attr_action_parser.h"
#include "attr/modification_set.h"
#include "cli/refusal.h"
#include "cli/switch_table.h"
#include "ops/run_settings.h"
#include "util/reporter.h"

namespace kestrel {

struct CsvRows {
    DnList targets;
    // What targets[i] gets besides the command line's: its cells as attribute-actions
    // ("description::x"), checked; read into a set only when its request is made, so
    // that a long table costs little memory.
    std::vector<std::vector<std::string>> actions;
    bool writesPasswords = false;  // a column names a password attribute

    CsvRows() = default;
    CsvRows(const CsvRows&) = delete;
    CsvRows& operator=(const CsvRows&) = delete;
    // The cells may be passwords.
    ~CsvRows();
};

// The refusal of -csv without a file name or with a switch that names the targets or a
// mode other than modify and add; else nothing.
Verdict csvRefusal(const SwitchTable& switches, const RunSettings& settings);

// The rows of the run's CSV file ("-": standard input). `commandLine` holds the run's
// attribute-actions, which every row gets. False after the ERROR lines that name the row
// and column at fault.
bool loadCsvRows(Reporter& reporter, const RunSettings& settings, const ActionSyntax& syntax,
                 const ModificationSet& commandLine, std::istream& input, CsvRows& rows);

}  // namespace kestrel
