// TIME##: a date or date-time written for a person, turned into the tick count the
// directory stores (accountExpires and its kind: 100-ns intervals since 1601-01-01 UTC).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// The tick count of an ISO 8601 date ("2027-01-31": that day's 00:00 UTC) or date-time
// ("2027-01-31T18:00", seconds and up to seven fraction digits optional; "Z", "+02:00",
// "+0200" or "+02" for an offset, UTC without one), as decimal text; "never" (any case)
// gives "0", what Active Directory reads as no expiry. Nothing, with `why` saying what is
// wrong, for a text that is not such a date or a moment before 1601-01-01 UTC.
std::optional<std::string> tickCountOf(std::string_view text, std::string& why);

}  // namespace kestrel
