#include "attr/bit_change.h"

#include <charconv>
#include <string_view>

#include "util/terminal_text.h"

namespace kestrel {
namespace {

struct Integer {
    std::uint32_t bits = 0;
    bool unsignedText = false;  // written above 2147483647 rather than as a negative number
};

// Strict decimal: an optional "-", then digits only, within -2^31 .. 2^32-1.
std::optional<Integer> readInteger(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    std::uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 10);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        value > (negative ? 0x80000000ULL : 0xFFFFFFFFULL)) {
        return std::nullopt;
    }
    return Integer{static_cast<std::uint32_t>(negative ? 0x100000000ULL - value : value),
                   value > 0x7FFFFFFFULL && !negative};
}

}  // namespace

BitOutcome applyBitChange(const std::vector<std::string>& values, const BitChange& change) {
    BitOutcome outcome;
    if (values.size() > 1) {
        outcome.why = "it holds " + std::to_string(values.size()) +
                      " values, and setbits and clearbits change a single integer";
        return outcome;
    }
    Integer old;
    if (!values.empty()) {
        const std::optional<Integer> read = readInteger(values.front());
        if (!read) {
            outcome.why =
                "it holds [" + terminalText(values.front()) + "], which is not a 32-bit integer";
            return outcome;
        }
        old = *read;
    }
    const std::uint32_t bits = (old.bits | change.set) & ~change.clear;
    outcome.changed = values.empty() ? bits != 0 : bits != old.bits;
    outcome.value =
        old.unsignedText ? std::to_string(bits) : std::to_string(static_cast<std::int32_t>(bits));
    return outcome;
}

}  // namespace kestrel
