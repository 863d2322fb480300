#include "util/base64.h"

#include <cstdint>

namespace kestrel {
namespace {

// The six bits a character stands for, or -1.
int sextet(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

}  // namespace

std::optional<std::string> decodeBase64(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t at = 0; at < text.size(); at += 4) {
        const bool last = at + 4 == text.size();
        // Padding only at the very end: "=" inside would hide where the value stops.
        const std::size_t padding = !last                 ? 0
                                    : text[at + 3] != '=' ? 0
                                    : text[at + 2] != '=' ? 1
                                                          : 2;
        std::uint32_t group = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const int value = i < 4 - padding ? sextet(text[at + i]) : 0;
            if (value < 0) {
                return std::nullopt;
            }
            group = (group << 6) | static_cast<std::uint32_t>(value);
        }
        bytes += static_cast<char>((group >> 16) & 0xFFu);
        if (padding < 2) {
            bytes += static_cast<char>((group >> 8) & 0xFFu);
        }
        if (padding < 1) {
            bytes += static_cast<char>(group & 0xFFu);
        }
    }
    return bytes;
}

std::string encodeBase64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const auto group = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16 |
                           static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                           static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 2]));
        out += kAlphabet[group >> 18 & 0x3F];
        out += kAlphabet[group >> 12 & 0x3F];
        out += kAlphabet[group >> 6 & 0x3F];
        out += kAlphabet[group & 0x3F];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned group = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16;
        if (rest == 2) {
            group |= static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        }
        out += kAlphabet[group >> 18 & 0x3F];
        out += kAlphabet[group >> 12 & 0x3F];
        out += rest == 2 ? kAlphabet[group >> 6 & 0x3F] : '=';
        out += '=';
    }
    return out;
}

}  // namespace kestrel
