// The connection over one libldap handle, for the code that opens the handles.
#pragma once

#include <ldap.h>

#include <memory>
#include <string>

#include "directory/ldap_client.h"

namespace kestrel {

// Takes the handle over. `ldapsOnly`: every server of the handle is reached over TLS from
// the first byte.
std::unique_ptr<LdapConnection> openLdapConnection(LDAP* ld, bool ldapsOnly);

// A text option of the handle; empty when it has none.
std::string optionText(LDAP* ld, int option);

}  // namespace kestrel
