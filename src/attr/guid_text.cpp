#include "attr/guid_text.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "util/ascii_case.h"

namespace kestrel {
namespace {

constexpr std::size_t kGuidTextLength = 36;
constexpr std::array<std::size_t, 4> kHyphenPositions = {8, 13, 18, 23};

bool isHyphenPosition(std::size_t position) {
    for (const std::size_t hyphen : kHyphenPositions) {
        if (position == hyphen) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<BinaryValue> parseGuidText(std::string_view text) {
    if (text.size() != kGuidTextLength) {
        return std::nullopt;
    }
    // The 32 digits as 16 bytes in written order.
    std::array<std::uint8_t, 16> written{};
    std::size_t digitCount = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isHyphenPosition(i)) {
            if (text[i] != '-') {
                return std::nullopt;
            }
            continue;
        }
        const int digit = hexDigitValue(text[i]);
        if (digit < 0) {
            return std::nullopt;
        }
        std::uint8_t& byte = written[digitCount / 2];
        byte = static_cast<std::uint8_t>((byte << 4) | digit);
        ++digitCount;
    }

    // Data1, Data2 and Data3 are stored least significant byte first; Data4 as written.
    constexpr std::array<std::size_t, 16> kOrder = {3, 2, 1,  0,  5,  4,  7,  6,
                                                    8, 9, 10, 11, 12, 13, 14, 15};
    BinaryValue bytes(16);
    for (std::size_t i = 0; i < kOrder.size(); ++i) {
        bytes[i] = written[kOrder[i]];
    }
    return bytes;
}

}  // namespace kestrel
