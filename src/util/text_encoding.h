// Conversion between the locale's character encoding and UTF-16LE.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// The caller's character encoding (LC_CTYPE), e.g. "UTF-8".
std::string localeEncoding();

// UTF-16LE bytes of `text`, or nothing when it is not valid text in the locale's encoding.
std::optional<std::string> localeToUtf16le(std::string_view text);

// The UTF-8 text of `text`, as LDAP v3 sends DNs and RFC 3062 passwords, or nothing when
// it is not valid text in the locale's encoding.
std::optional<std::string> localeToUtf8(std::string_view text);

// How quotedUtf16le treats text that already begins with a double quote.
enum class Quotes { Add, KeepWriters };

// The UTF-16LE of `text` between double quotes, the form a directory takes a password in,
// or nothing when it is not valid text in the locale's encoding. With KeepWriters, text
// that already begins with a quote is taken as quoted by whoever wrote it.
std::optional<std::string> quotedUtf16le(std::string_view text, Quotes quotes);

// The locale-encoded text of UTF-16LE `bytes`, or nothing when it cannot be represented.
std::optional<std::string> utf16leToLocale(std::string_view bytes);

}  // namespace kestrel
