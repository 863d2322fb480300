// Modify and add modes: one request per target carrying the whole modification list,
// then the "#setpwd#" password step.
#pragma once

#include "attr/modification_set.h"
#include "ops/process_targets.h"

namespace kestrel {

void runModify(RunContext& run, const DnList& targets, const ModificationSet& set);

void runAdd(RunContext& run, const DnList& targets, const ModificationSet& set);

}  // namespace kestrel
