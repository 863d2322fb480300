// ASCII-only character helpers for attribute names, operations and encoded values.
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

// The value of a hexadecimal digit of either case, or -1.
inline int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace kestrel
