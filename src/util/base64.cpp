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

}  // namespace kestrel
