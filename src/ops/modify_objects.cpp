#include "ops/modify_objects.h"

#include "ops/modification_list.h"
#include "ops/send_modification_list.h"

namespace kestrel {

void runModify(RunContext& run, const DnList& targets, const ModificationSet& set) {
    run.reporter.info("Modifying specified objects...\n");
    const ModificationList list = ModificationList::forModify(run.reporter, set);
    sendModificationList(run, targets, list, ModificationRequest::Modify, false);
}

}  // namespace kestrel
