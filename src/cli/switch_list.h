// The program's switches, written once: each one's name, what it takes and its lines in the
// usage text. The parser, the usage text and the completion's test read it.
#pragma once

#include "cli/switch_table.h"

namespace kestrel {

// In the order flags hand back what they swallowed, the order of the attribute-actions
// sent: a new switch goes at the end.
SwitchList kestrelSwitchList();

}  // namespace kestrel
