// Recognising attributes and texts that carry a password, so that a password is only ever
// sent over a sealed layer and never shown.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// The attribute as the directory reads the name: lower case, without binary prefixes
// ("bin##", wherever they stand), attribute options (";binary") or surrounding blanks.
std::string directoryAttributeName(std::string_view attribute);

// True when a modification of `attribute` carries a password, whatever the operation:
// unicodePwd (by name or OID), userPassword, or the "#setpwd#" pseudo-attribute. This is
// the one rule that decides sealing, argument scrubbing and masking.
bool carriesPassword(std::string_view attribute);

// True when `attribute` holds a password or another secret (a password-like value, a
// recovery key, key material): such values are never written to a journal or a preview.
bool carriesSecret(std::string_view attribute);

// True when `text` holds the name of a password attribute anywhere (binary prefixes
// removed first): for texts whose attribute name cannot be told for sure, such as a raw
// argument before the delimiter is known, or a mistyped attribute-action. Every spelling
// that carriesPassword accepts is found.
bool mentionsPasswordAttribute(std::string_view text);

// What messages show instead of a text that may be a password.
inline constexpr std::string_view kHiddenText = "***";

}  // namespace kestrel
