#include "directory/undelete_request.h"

#include "util/ascii_case.h"

namespace kestrel {

std::optional<std::string> undeletedDn(std::span<const Modification> modifications,
                                       const ServerControls& controls) {
    if (!hasControl(controls, kShowDeletedOid)) {
        return std::nullopt;
    }
    bool revived = false;
    std::optional<std::string> dn;
    for (const Modification& modification : modifications) {
        const std::string attribute = asciiLower(modification.attribute);
        if (attribute == "isdeleted" && modification.operation == ModOperation::Delete) {
            revived = true;
        } else if (attribute == "distinguishedname" &&
                   modification.operation == ModOperation::Replace &&
                   !modification.values.empty() && !dn) {
            dn = modification.values.front();
        }
    }
    return revived ? dn : std::nullopt;
}

}  // namespace kestrel
