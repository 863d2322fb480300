// The LDAP error line.
#pragma once

#include <string>

#include "util/reporter.h"

namespace kestrel {

class LdapConnection;

// "<label>: [<subject>] Error 0x<hex> (<dec>) - <text>" on standard error; with a handle,
// also the library's server error text as "Extended Error: (<text>)".
void reportLdapError(Reporter& reporter, const std::string& label, const std::string& subject,
                     int code, LdapConnection* handle);

}  // namespace kestrel
