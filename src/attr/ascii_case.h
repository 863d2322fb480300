// ASCII-only case folding for attribute names, operations and hexadecimal text.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// Only A-Z are folded: the result must not depend on the caller's locale, and bytes of
// multi-byte characters must pass through unchanged.
inline std::string asciiLower(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

}  // namespace kestrel
