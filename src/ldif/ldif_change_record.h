// What the logical lines of one LDIF record say: its dn, control, changetype and the body
// of its kind, read once through.
#pragma once

#include <optional>
#include <vector>

#include "ldif/ldif_lines.h"
#include "ldif/ldif_reader.h"

namespace kestrel {

// The record `lines` write: the lines before the dn (a version line only), the dn, one
// control, the changetype and the body of its kind. A record without a changetype is an add
// when `entriesAreAdds`, refused otherwise; one the seam cannot send as written is refused
// as NotSendable. `skip` is set, and `record` left alone, for a record that holds only a
// version line.
std::optional<LdifProblem> interpretRecord(const std::vector<LdifLine>& lines, bool entriesAreAdds,
                                           LibraryMessages& messages, LdifRecord& record,
                                           bool& skip);

}  // namespace kestrel
