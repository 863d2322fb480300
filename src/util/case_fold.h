// Unicode simple case folding: the one-to-one mapping under which two texts that differ
// only in letter case compare equal, whatever the caller's locale.
#pragma once

namespace kestrel {

// The simple case folding of `c` (CaseFolding.txt, statuses C and S): "A" and "a" give
// "a", "Ä" gives "ä", final sigma gives sigma; a code point without one is returned as is.
char32_t simpleCaseFold(char32_t c);

}  // namespace kestrel
