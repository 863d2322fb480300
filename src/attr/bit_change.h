// setbits and clearbits: what an integer attribute becomes, computed from the value the
// directory holds, so that every other bit stays as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

struct BitChange {
    std::uint32_t set = 0;    // bits turned on
    std::uint32_t clear = 0;  // bits turned off
};

// The new value of an attribute holding `values` (none: absent, taken as 0), as the
// directory writes such integers: signed 32-bit decimal ("66050", "-2147483646"), or
// unsigned when the value read was written so. Nothing, with `why`, when the attribute
// holds several values or one that is not a 32-bit integer. `changed` is false when the
// bits are already as asked (and for an absent attribute whose bits would all be 0).
struct BitOutcome {
    std::optional<std::string> value;
    bool changed = false;
    std::string why;
};
BitOutcome applyBitChange(const std::vector<std::string>& values, const BitChange& change);

}  // namespace kestrel
