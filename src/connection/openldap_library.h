// The program's directory library: libldap with Cyrus SASL.
#pragma once

#include "directory/ldap_client.h"

namespace kestrel {

LdapLibrary& openLdapLibrary();

}  // namespace kestrel
