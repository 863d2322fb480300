// The "sid##", "guid##" and "bin##" markers that select a binary encoding, and "time##".
#pragma once

#include <string>

namespace kestrel {

struct BinaryPrefixes {
    bool sid = false;
    bool guid = false;
    bool bin = false;
};

// Three independent checks, in this order: the first "sid##", then the first "guid##",
// then the first "bin##" is removed wherever it stands in the (lower-case) attribute.
// When several are present the last one found decides the encoding.
BinaryPrefixes removeBinaryPrefixes(std::string& attribute);

// "time##" (TIME## on the command line) marks a date to be written as a tick count; it is
// removed, first occurrence, wherever it stands. True when it was there.
bool removeTimePrefix(std::string& attribute);

// The name a binary or TIME## attribute is stored and sent under.
std::string unprefixedAttribute(std::string attribute);

}  // namespace kestrel
