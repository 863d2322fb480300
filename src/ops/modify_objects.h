// Modify mode (and -rootdse): one modify request per target, then the password step.
#pragma once

#include "attr/modification_set.h"
#include "ops/process_targets.h"

namespace kestrel {

void runModify(RunContext& run, const DnList& targets, const ModificationSet& set);

}  // namespace kestrel
