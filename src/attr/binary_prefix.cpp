#include "attr/binary_prefix.h"

#include <string_view>

namespace kestrel {
namespace {

bool removeFirst(std::string& text, std::string_view marker) {
    const std::size_t at = text.find(marker);
    if (at == std::string::npos) {
        return false;
    }
    text.erase(at, marker.size());
    return true;
}

}  // namespace

BinaryPrefixes removeBinaryPrefixes(std::string& attribute) {
    BinaryPrefixes found;
    found.sid = removeFirst(attribute, "sid##");
    found.guid = removeFirst(attribute, "guid##");
    found.bin = removeFirst(attribute, "bin##");
    return found;
}

bool removeTimePrefix(std::string& attribute) {
    return removeFirst(attribute, "time##");
}

std::string unprefixedAttribute(std::string attribute) {
    removeTimePrefix(attribute);
    removeBinaryPrefixes(attribute);
    return attribute;
}

}  // namespace kestrel
