// Which records of a file must wait for every earlier answer under -window. The per-target
// loop holds a request back while an earlier one is in flight for the same DN or one above
// or below it; a record can also depend on an earlier one through a name the loop does not
// compare: the new DN of an object moved, renamed or reanimated, or a DN among its values (a
// group's new member added just before). Names are compared by the loop's own rule
// (`related` in dn/dn_key).
#pragma once

#include <cstddef>
#include <vector>

#include "ldif/ldif_reader.h"

namespace kestrel {

// The indexes where a new batch of records starts, 0 first: each batch goes through the
// loop on its own, once every request of the batch before is answered. With a window of 1
// every record waits anyway, so there is one batch.
std::vector<std::size_t> recordBatches(const std::vector<LdifRecord>& records, int window);

}  // namespace kestrel
