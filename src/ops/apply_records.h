// -f FILE and -revert FILE: the records of an LDIF file, one request each, through the
// run's session, so that a dry run prints them and -undo journals them like any other write.
#pragma once

#include <vector>

#include "ldif/ldif_reader.h"
#include "ops/process_targets.h"
#include "ops/record_source.h"

namespace kestrel {

// -f: the records in the file's order.
void runApplyRecords(RunContext& run, RecordSource& records);
void runApplyRecords(RunContext& run, const std::vector<LdifRecord>& records);

// -revert: an undo journal's records, last record first, the order that undoes a run: its
// parts last first, each part's records last first.
void runRevert(RunContext& run, RecordSource& journal);
void runRevert(RunContext& run, const std::vector<LdifRecord>& journal);

}  // namespace kestrel
