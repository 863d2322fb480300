// The per-target loop modify and add share: one request carrying the whole list.
#pragma once

#include "ops/modification_list.h"
#include "ops/process_targets.h"
#include "session/ldap_client.h"

namespace kestrel {

// With `passwordOnlyAfterSuccess` a target whose request failed gets no password step.
void sendModificationList(RunContext& run, const DnList& targets, const ModificationList& list,
                          ModificationRequest request, bool passwordOnlyAfterSuccess);

}  // namespace kestrel
