// Every error line the program writes about LDAP, system and directory-object failures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/console.h"

namespace kestrel {

class LdapConnection;

// "<label>: [<subject>] Error 0x<hex> (<dec>) - <text>" on standard error; with a handle,
// also the library's server error text as "Extended Error: (<text>)".
void reportLdapError(Console& console, const std::string& label, const std::string& subject,
                     int code, LdapConnection* handle);

// Writes "<label>(<code>) <system text>" on standard output; returns the code.
std::int32_t reportWindowsError(Console& console, const std::string& label, std::int32_t code);

// The directory-object error name of an E_ADS_* code, or empty text.
std::string adsiErrorName(std::int32_t code);

// The text of a COM result code. For ADSI-looking codes it also writes "adsi error".
std::string adsiErrorText(Console& console, std::int32_t code);

// Writes "<label>(0x<hex>) <text>" on standard error; returns the code.
std::int32_t reportAdsiError(Console& console, const std::string& label, std::int32_t code);

// Debug dump of a binary value: hexadecimal rows, then the same rows as characters.
void hexDump(Console& console, const std::uint8_t* bytes, std::size_t length);

}  // namespace kestrel
