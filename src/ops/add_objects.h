// Add mode: one add request per target, then the password step.
#pragma once

#include "attr/modification_set.h"
#include "ops/process_targets.h"

namespace kestrel {

void runAdd(RunContext& run, const DnList& targets, const ModificationSet& set);

}  // namespace kestrel
