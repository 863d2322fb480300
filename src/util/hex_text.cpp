#include "util/hex_text.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace kestrel {
namespace {

constexpr char kLowerDigits[] = "0123456789abcdef";
constexpr char kUpperDigits[] = "0123456789ABCDEF";

void appendByte(std::string& out, std::uint8_t byte, const char* digits = kLowerDigits) {
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

}  // namespace

std::string lowerHex(std::uint32_t value) {
    std::array<char, 16> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%x", value);
    return buffer.data();
}

std::string hexText(std::span<const std::uint8_t> bytes) {
    std::string hex;
    for (const std::uint8_t byte : bytes) {
        appendByte(hex, byte);
    }
    return hex;
}

std::string upperHexText(std::string_view bytes) {
    std::string hex;
    for (const char byte : bytes) {
        appendByte(hex, static_cast<std::uint8_t>(byte), kUpperDigits);
    }
    return hex;
}

std::string hexDumpText(const std::uint8_t* bytes, std::size_t length) {
    if (length == 0) {
        return "";
    }
    std::string out;
    std::string characters = "DECODE:\n";
    std::size_t counter = 0;
    while (counter < length) {
        std::array<char, 8> label{};
        std::snprintf(label.data(), label.size(), "%04X ", static_cast<unsigned>(counter));
        out += label.data();
        const std::size_t rowEnd = std::min(length, counter + 16);
        while (counter < rowEnd) {
            const std::uint8_t byte = bytes[counter];
            ++counter;
            if (byte > 32) {
                characters += static_cast<char>(byte);
            } else if (byte == 0) {
                characters += "\\0";
            } else {
                characters += '_';
            }
            appendByte(out, byte);
            out += ' ';
        }
        out += "\n";
        characters += "\n";
    }
    return out + characters + "\n";
}

}  // namespace kestrel
