// The platform's wide text (UTF-16) and its conversions to what the wire needs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// `text` in the locale's encoding as UTF-16, or nothing when it is not valid text there.
std::optional<std::u16string> localeToWide(std::string_view text);

// UTF-8 (what LDAP v3 puts on the wire for DNs and RFC 3062 passwords), or nothing when
// `text` holds an unpaired surrogate.
std::optional<std::string> wideToUtf8(std::u16string_view text);

// The UTF-16LE bytes of `text`, low byte first, without a terminator.
std::string wideToUtf16le(std::u16string_view text);

}  // namespace kestrel
