// The "sid##", "guid##" and "bin##" markers that select a binary encoding.
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

// The name a binary attribute is stored and sent under.
std::string unprefixedAttribute(std::string attribute);

}  // namespace kestrel
