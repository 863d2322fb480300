// Text read one character at a time, as UTF-8 where it is valid: the one place that says
// what a character is and which characters control a terminal.
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrel {

// The bytes of the character at `at` (at < text.size()): a valid UTF-8 sequence (RFC 3629:
// no overlong forms, no surrogates, nothing above U+10FFFF), or else the single byte, ASCII
// or one that is part of no valid sequence.
std::string_view characterAt(std::string_view text, std::size_t at);

// Whether `character` (from characterAt) is one a terminal acts on instead of showing: C0
// (tab and line breaks too), DEL, C1 (U+0080 to U+009F), and a byte outside any valid
// sequence that a terminal not reading UTF-8 takes as C1 (0x80 to 0x9F).
bool isControlCharacter(std::string_view character);

}  // namespace kestrel
