// -f FILE and -revert FILE: the records of an LDIF file, one request each, through the
// run's session, so that a dry run prints them and -undo journals them like any other write.
#pragma once

#include <vector>

#include "ops/process_targets.h"
#include "session/ldif_reader.h"

namespace kestrel {

// The DN each record reports, in the file's order: what the target count and the safety
// limit count.
DnList recordDns(const std::vector<LdifRecord>& records);

// -f: the records in the file's order.
void runApplyRecords(RunContext& run, const std::vector<LdifRecord>& records);

// -revert: an undo journal's records, last record first, the order that undoes a run.
void runRevert(RunContext& run, const std::vector<LdifRecord>& journal);

}  // namespace kestrel
