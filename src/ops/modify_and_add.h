// Modify and add modes: one request per target carrying the whole modification list,
// then the "#setpwd#" password step.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "attr/attr_action_parser.h"
#include "attr/modification_set.h"
#include "ops/process_targets.h"

namespace kestrel {

void runModify(RunContext& run, const DnList& targets, const ModificationSet& set);

void runAdd(RunContext& run, const DnList& targets, const ModificationSet& set);

// The rows of a table: targets[i] gets the command line's set and then actions[i], read
// as the command line's attribute-actions are (and checked so before connecting).
struct RowChanges {
    const ModificationSet& commandLine;
    std::span<const std::vector<std::string>> actions;
    const ActionSyntax& syntax;
};

// Each target with its own modification list and password step.
void runModifyRows(RunContext& run, const DnList& targets, const RowChanges& changes);
void runAddRows(RunContext& run, const DnList& targets, const RowChanges& changes);

}  // namespace kestrel
