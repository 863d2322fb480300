// The LDAP error lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/reporter.h"

namespace kestrel {

class LdapConnection;

// "<label>: [<subject>] Error 0x<hex> (<dec>) - <text>\n" on standard error.
void writeLdapError(Reporter& reporter, std::string_view label, std::string_view subject,
                    std::int32_t code, std::string_view codeText);

// The server's text after a failed bind or option: "Extended Error: (<text>)\n" on standard
// error; nothing when the server sent none.
void writeServerText(Reporter& reporter, std::string_view text);

// writeLdapError with the code's text; with a handle,
// also the library's server error text as "Extended Error: (<text>)".
void reportLdapError(Reporter& reporter, const std::string& label, const std::string& subject,
                     int code, LdapConnection* handle);

}  // namespace kestrel
