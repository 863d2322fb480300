#include "ops/add_objects.h"

#include "ops/modification_list.h"
#include "ops/send_modification_list.h"

namespace kestrel {

void runAdd(RunContext& run, const DnList& targets, const ModificationSet& set) {
    run.reporter.info("Adding specified objects...\n");
    const ModificationList list = ModificationList::forAdd(run.reporter, set);
    // A failed add (say the account exists already) created nothing: setting the password
    // then would reset an existing account's password to the new accounts' one.
    sendModificationList(run, targets, list, ModificationRequest::Add, true);
}

}  // namespace kestrel
