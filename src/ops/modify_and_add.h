// Modify and add modes: one request per target carrying the whole modification list,
// then the "#setpwd#" password step.
#pragma once

#include <span>

#include "attr/modification_set.h"
#include "ops/process_targets.h"

namespace kestrel {

void runModify(RunContext& run, const DnList& targets, const ModificationSet& set);

void runAdd(RunContext& run, const DnList& targets, const ModificationSet& set);

// The rows of a table: targets[i] gets sets[i], with its own password step.
void runModifyRows(RunContext& run, const DnList& targets, std::span<const ModificationSet> sets);
void runAddRows(RunContext& run, const DnList& targets, std::span<const ModificationSet> sets);

}  // namespace kestrel
