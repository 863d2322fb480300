// Test helper: bytes as lower-case hexadecimal text, so expected values read like dumps.
#pragma once

#include <cstdio>
#include <string>

#include "attr/binary_value.h"

namespace kestrel {

inline std::string hexText(const BinaryValue& bytes) {
    std::string text;
    for (const auto byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

}  // namespace kestrel
