// The LDAP error line, and the debug dump of binary values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/reporter.h"

namespace kestrel {

class LdapConnection;

// "<label>: [<subject>] Error 0x<hex> (<dec>) - <text>" on standard error; with a handle,
// also the library's server error text as "Extended Error: (<text>)".
void reportLdapError(Reporter& reporter, const std::string& label, const std::string& subject,
                     int code, LdapConnection* handle);

// Debug dump of a binary value: hexadecimal rows, then the same rows as characters.
std::string hexDumpText(const std::uint8_t* bytes, std::size_t length);

}  // namespace kestrel
