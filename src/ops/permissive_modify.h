// -permissive: every modify request the run sends carries the permissive modify control,
// so a value added that is there already, or removed that is not, is no error.
#pragma once

#include <memory>

#include "directory/ldap_client.h"

namespace kestrel {

// Wraps the run's connection (outside the preview and the journal, which then see the
// control: the preview shows it, the journal reverses only what changed). Adds, deletes
// and renames pass unchanged; a modify that carries the control already keeps one.
std::unique_ptr<LdapConnection> permissiveConnection(std::unique_ptr<LdapConnection> real);

}  // namespace kestrel
