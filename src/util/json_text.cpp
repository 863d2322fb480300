#include "util/json_text.h"

#include <array>
#include <cstdio>

#include "util/utf8_characters.h"

namespace kestrel {
namespace {

// "\u" and four hex digits.
std::string unicodeEscape(unsigned codePoint) {
    std::array<char, 8> escaped{};
    std::snprintf(escaped.data(), escaped.size(), "\\u%04x", codePoint);
    return escaped.data();
}

// U+2028 and U+2029 end a line for JavaScript and for some editors and viewers.
bool isUnicodeLineBreak(std::string_view character) {
    return character == "\xe2\x80\xa8" || character == "\xe2\x80\xa9";
}

}  // namespace

std::string jsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t at = 0; at < text.size();) {
        const std::string_view character = characterAt(text, at);
        at += character.size();
        const auto c = static_cast<unsigned char>(character.front());
        if (character.size() > 1) {
            if (isControlCharacter(character)) {
                out += unicodeEscape(static_cast<unsigned char>(character[1]));  // C1: C2 xx
            } else if (isUnicodeLineBreak(character)) {
                out += unicodeEscape(character.back() == '\xa8' ? 0x2028 : 0x2029);
            } else {
                out.append(character);
            }
            continue;
        }
        if (c >= 0x80) {
            out += "\\ufffd";
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (isControlCharacter(character)) {
                    out += unicodeEscape(c);
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
    return out;
}

}  // namespace kestrel
