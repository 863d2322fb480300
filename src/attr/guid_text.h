// GUID text ("85C04D89-D68C-4785-B801-DBF980F97C5C") to its 16 bytes.
#pragma once

#include <optional>
#include <string_view>

#include "attr/binary_value.h"

namespace kestrel {

// Accepts exactly 36 characters: 8, 4, 4, 4 and 12 hexadecimal digits (either case)
// separated by "-". Braces are the caller's business.
//
// The result is the GUID memory layout (MS-DTYP 2.3.4.2): the first three groups as
// little-endian 32-, 16- and 16-bit numbers, the last 8 bytes in written order.
std::optional<BinaryValue> parseGuidText(std::string_view text);

}  // namespace kestrel
