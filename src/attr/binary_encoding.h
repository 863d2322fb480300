// Turns SID, GUID and hexadecimal value texts into the bytes sent to the directory.
#pragma once

#include <string>

#include "attr/binary_value.h"
#include "util/reporter.h"

namespace kestrel {

// Recognises and removes the first "sid##", "guid##" or "bin##" in `attribute` and encodes
// `valueText` accordingly into `value`. Returns 0, or the failure status: a SID that does
// not parse 1337, a GUID 1705, hexadecimal -1. The error line is written here.
int encodeBinaryValue(Reporter& reporter, std::string& attribute, const std::string& valueText,
                      BinaryValue& value);

}  // namespace kestrel
