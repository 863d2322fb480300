// A DN reduced to what the directory compares, for telling whether two requests concern
// the same object, one above the other, or unrelated ones.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrel {

// Each component's values are unescaped ("\2C" and "\," are one character) and case folded
// (Unicode simple case folding, as the directory compares values without case), blanks at
// either end are dropped and runs of blanks count as one, and a multi-valued RDN's values
// count in any order. Attribute types are left out: an alias or an OID names the same
// attribute as its usual name. So two texts the directory reads as one DN always get the
// same key; two it tells apart may get it too (siblings CN=x and OU=x), which only makes a
// request wait for an unrelated one: waiting is safe, missing a related request is not.
struct DnKey {
    // Hashes of the DN's ancestors and of the DN, root first: path[i] stands for the DN's
    // last i + 1 components, path.back() for the whole DN.
    std::vector<std::uint64_t> path;
};

// The key of `dn`, or nothing when the text is not one this reading takes apart with
// confidence: <GUID=...>, <SID=...> and other extended forms, quoted or "#" (BER) values,
// ";" separators, an unknown escape, a NUL, text that is not UTF-8, an empty component.
std::optional<DnKey> dnKey(std::string_view dn);

// The key of the DN that the one RDN `rdn` names under `parent` (a rename's new DN), or
// nothing when `rdn` is not one component dnKey reads with confidence.
std::optional<DnKey> childKey(const DnKey& parent, std::string_view rdn);

// The one rule for which names may be in flight together. `upper` names `dn` or an object
// above it; a name without a key could be any object, so it counts as both.
bool isAtOrAbove(const std::optional<DnKey>& upper, const std::optional<DnKey>& dn);

// The same object, or one above the other: what two requests that may not travel together
// name. Unsure counts as related.
bool related(const std::optional<DnKey>& a, const std::optional<DnKey>& b);

}  // namespace kestrel
