// The line of a write the journal holds back because its reversing record could not be
// written first: the same words for every kind of write, the password step's included.
#pragma once

#include <string>

#include "util/terminal_text.h"

namespace kestrel {

// "ERROR: No undo record for <dn>: <why>; <notDone>.\n", e.g. notDone "the modify was not
// sent".
inline std::string noUndoRecordLine(const std::string& dn, const std::string& why,
                                    const std::string& notDone) {
    return "ERROR: No undo record for " + terminalDn(dn) + ": " + why + "; " + notDone + ".\n";
}

}  // namespace kestrel
