// RFC 4648 base64: the "::" values of the LDIF the program writes and reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// `bytes` in the standard alphabet, padded with "=".
std::string encodeBase64(std::string_view bytes);

// The bytes of `text` in the standard alphabet, padded with "=" to a multiple of four
// characters, or nothing when it is not that: a DN half decoded would name another object.
std::optional<std::string> decodeBase64(std::string_view text);

}  // namespace kestrel
