// The lines the per-target loop writes about one target.
#pragma once

#include <cstdint>
#include <string_view>

#include "util/reporter.h"

namespace kestrel {

// "   DN: <dn>..." before a target's outcome; -q hides it.
void writeTargetStart(Reporter& reporter, std::string_view dn);

// A target's failure: the LDAP error line (hidden by -q), then with -exterr the server's
// text on "   Extended Error: <text>\n" (kept by -q).
void writeTargetFailure(Reporter& reporter, std::string_view subject, std::int32_t code,
                        std::string_view codeText, bool showServerText,
                        std::string_view serverText);

}  // namespace kestrel
