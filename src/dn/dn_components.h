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

// The parent of the DN whose components these are: all but the RDN, joined with ",". Empty
// for a DN of one component: the root.
std::string parentDn(const std::vector<std::string>& components);

// The attribute type of an RDN as written: the text before its "=".
std::string rdnType(const std::string& rdn);

// True when `a` and `b` have the same components, A-Z folded, or are both empty (the root):
// a sure match only (dn/dn_key says which names may be the same object).
bool sameDn(const std::string& a, const std::string& b);

}  // namespace kestrel
