// The modes that change where an object lives or whether it exists.
#pragma once

#include "ops/process_targets.h"

namespace kestrel {

// -rm/-del, with the tree-delete control when -treedelete is given.
void runDelete(RunContext& run, const DnList& targets);

// -move: each target keeps its RDN under the new parent.
void runMove(RunContext& run, const DnList& targets);

// -rename: the single target gets a new RDN value under the same parent.
void runRename(RunContext& run, const DnList& targets);

// -undel: restores tombstones under their last known parent or the given one.
void runUndelete(RunContext& run, const DnList& targets);

}  // namespace kestrel
