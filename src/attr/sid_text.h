// Security identifier text ("S-1-5-32-544") to its binary form.
#pragma once

#include <optional>
#include <string_view>

#include "attr/binary_value.h"

namespace kestrel {

// Accepts "S-" (or "s-"), revision 1, the identifier authority in decimal (at most 32 bits)
// or in hexadecimal after "0x" (at most 48 bits), then 0 to 15 sub-authorities, each a
// decimal number of at most 32 bits. Every field is one or more digits; no signs, blanks
// or empty fields, nothing after the last number. Anything else gives no value.
//
// The result is the published SID layout (MS-DTYP 2.4.2.2): revision, sub-authority
// count, the 48-bit authority most significant byte first, then each sub-authority as a
// 32-bit little-endian number.
std::optional<BinaryValue> parseSidText(std::string_view text);

}  // namespace kestrel
