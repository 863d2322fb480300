// A length-counted byte string: what a binary attribute value is sent as.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrel {

using BinaryValue = std::vector<std::uint8_t>;

}  // namespace kestrel
