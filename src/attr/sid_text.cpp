#include "attr/sid_text.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "util/ascii_case.h"

namespace kestrel {
namespace {

constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint64_t kMax48 = 0xFFFFFFFFFFFFu;
constexpr std::size_t kMaxSubAuthorities = 15;
constexpr std::uint8_t kSidRevision = 1;

// Digits of `base` only, at least one; fails as soon as the value passes `max`, so a long
// run of digits neither overflows nor costs more than one pass.
std::optional<std::uint64_t> readNumber(std::string_view digits, unsigned base, std::uint64_t max) {
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : digits) {
        const int digit = base == 16 ? hexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * base + static_cast<unsigned>(digit);
        if (value > max) {
            return std::nullopt;
        }
    }
    return value;
}

std::optional<std::uint64_t> readAuthority(std::string_view field) {
    if (field.size() >= 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X')) {
        return readNumber(field.substr(2), 16, kMax48);
    }
    return readNumber(field, 10, kMax32);
}

}  // namespace

std::optional<BinaryValue> parseSidText(std::string_view text) {
    if (text.size() < 2 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') {
        return std::nullopt;
    }
    text.remove_prefix(2);

    // Fields in order: revision, authority, sub-authorities.
    std::uint64_t revision = 0;
    std::uint64_t authority = 0;
    std::array<std::uint32_t, kMaxSubAuthorities> subAuthorities{};
    std::size_t subCount = 0;
    std::size_t fieldIndex = 0;
    while (true) {
        const std::size_t dash = text.find('-');
        const std::string_view field = text.substr(0, dash);
        if (fieldIndex == 0) {
            const auto number = readNumber(field, 10, kMax32);
            if (!number || *number != kSidRevision) {
                return std::nullopt;
            }
            revision = *number;
        } else if (fieldIndex == 1) {
            const auto number = readAuthority(field);
            if (!number) {
                return std::nullopt;
            }
            authority = *number;
        } else {
            const auto number = readNumber(field, 10, kMax32);
            if (!number || subCount == kMaxSubAuthorities) {
                return std::nullopt;
            }
            subAuthorities[subCount++] = static_cast<std::uint32_t>(*number);
        }
        ++fieldIndex;
        if (dash == std::string_view::npos) {
            break;
        }
        text.remove_prefix(dash + 1);
    }
    if (fieldIndex < 2) {
        return std::nullopt;  // "S-1" names no authority
    }

    BinaryValue bytes;
    bytes.reserve(8 + 4 * subCount);
    bytes.push_back(static_cast<std::uint8_t>(revision));
    bytes.push_back(static_cast<std::uint8_t>(subCount));
    for (int shift = 40; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>((authority >> shift) & 0xFFu));
    }
    for (std::size_t i = 0; i < subCount; ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<std::uint8_t>((subAuthorities[i] >> shift) & 0xFFu));
        }
    }
    return bytes;
}

}  // namespace kestrel
