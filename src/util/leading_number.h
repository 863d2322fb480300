// The C library's atoi reading, without its undefined behaviour on overflow.
#pragma once

#include <cctype>
#include <cstdint>
#include <string_view>

namespace kestrel {

// Leading blanks, one optional sign, then decimal digits up to the first non-digit.
// No digits give 0; values beyond the 32-bit range are clamped.
constexpr std::int32_t leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 0x80000000LL) {
            value = 0x80000000LL;
        }
    }
    if (negative) {
        return static_cast<std::int32_t>(-value);
    }
    return static_cast<std::int32_t>(value > 0x7FFFFFFFLL ? 0x7FFFFFFFLL : value);
}

}  // namespace kestrel
