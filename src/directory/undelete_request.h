// Which modify is an undelete: the one rule the record order and the undo journal follow.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "directory/ldap_client.h"

namespace kestrel {

// The DN an undelete gives its object, when a modify is one: it deletes isDeleted and
// replaces distinguishedName, sent with the show-deleted control (without it the server
// cannot see the tombstone, so no object gets a new name).
std::optional<std::string> undeletedDn(std::span<const Modification> modifications,
                                       const ServerControls& controls);

}  // namespace kestrel
