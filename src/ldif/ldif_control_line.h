// A change record's "control:" line.
#pragma once

#include <optional>

#include "directory/ldap_client.h"
#include "ldif/ldif_lines.h"

namespace kestrel {

// The control of `line` added to `controls`, its value read as libldap's own reader takes
// it: "oid [true|false] [: value | :: base64 | :< url]"; a value from a URL is refused.
// `first` is the record's first line, which a malformed control is refused at.
std::optional<LdifProblem> readControl(const LdifLine& line, unsigned long first,
                                       LibraryMessages& messages, ServerControls& controls);

}  // namespace kestrel
