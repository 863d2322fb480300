// RFC 4648 base64 decoding, for the "dn::" lines of LDIF read from standard input.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// The bytes of `text` in the standard alphabet, padded with "=" to a multiple of four
// characters, or nothing when it is not that: a DN half decoded would name another object.
std::optional<std::string> decodeBase64(std::string_view text);

}  // namespace kestrel
