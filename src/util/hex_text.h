// Bytes and numbers as hexadecimal text: the one encoder every line that shows hex uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestrel {

// Lower-case hexadecimal without leading zeros, as the error lines show codes.
std::string lowerHex(std::uint32_t value);

// Two lower-case digits per byte: an objectGUID as a "<GUID=...>" base takes it.
std::string hexText(std::span<const std::uint8_t> bytes);
inline std::string hexText(std::string_view bytes) {
    return hexText({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

// Two upper-case digits per byte, as a DN escapes a byte ("\0A").
std::string upperHexText(std::string_view bytes);

// Debug dump of a binary value: hexadecimal rows, then the same rows as characters.
std::string hexDumpText(const std::uint8_t* bytes, std::size_t length);

}  // namespace kestrel
