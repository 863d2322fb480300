// Splitting a DN into its components exactly as they are written.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kestrel {

// The components of `dn`, RDN first, each as written (escapes and inner blanks kept, the
// loose blanks around separators dropped), or nothing when the text is not a DN or has no
// component. libldap validates the text; its own explode re-encodes components (an
// escaped line feed comes back raw), so the pieces are cut from the original at its
// unescaped separators.
std::optional<std::vector<std::string>> explodeDn(const std::string& dn);

}  // namespace kestrel
