// The program's switches, written once: each one's name, whether it takes a value, and its
// lines in the usage text. The parser, the usage text and the completion's test read it.
#pragma once

#include <string_view>
#include <vector>

namespace kestrel {

enum class SwitchKind {
    Flag,   // takes no value: an argument it swallowed is handed back as positional
    Value,  // takes the next argument unless that is a switch word
    File,   // takes the next argument whatever it is: a file name may begin with "/" or "-"
};

struct SwitchEntry {
    std::string_view name;
    SwitchKind kind = SwitchKind::Flag;
    // Its lines in the usage text, after "   -name"; empty for a switch the text leaves out.
    std::string_view usage = {};
    // The switch whose usage lines these follow, when not the one before it in the list.
    std::string_view usageAfter = {};
    bool required = false;
};

// Flags hand back the arguments they swallowed in list order, and that order is the order
// of the attribute-actions: a new switch goes at the end.
using SwitchList = std::vector<SwitchEntry>;

SwitchList kestrelSwitchList();

}  // namespace kestrel
