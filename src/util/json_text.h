// JSON string literals (RFC 8259) for the -json result lines.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// `text` as a quoted JSON string. Quotes, backslashes, control characters (C0, DEL, C1) and
// the line breaks U+2028 and U+2029 are escaped, so that a line printed on a terminal or
// read by JavaScript stays one line. Other valid UTF-8 is kept as it is, and each byte that
// is not part of a valid UTF-8 sequence becomes \ufffd (U+FFFD): the line stays valid JSON,
// and a DN that was not UTF-8 can never come back from a script as the name of another
// object.
std::string jsonString(std::string_view text);

}  // namespace kestrel
