#include "util/utf8_characters.h"

namespace kestrel {
namespace {

unsigned char byteAt(std::string_view text, std::size_t at) {
    return static_cast<unsigned char>(text[at]);
}

// The length of the valid UTF-8 sequence at `at`, or 0.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
    const unsigned char lead = byteAt(text, at);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    // Only the second byte has a narrower range; the others are plain continuation bytes.
    if (byteAt(text, at + 1) < low || byteAt(text, at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byteAt(text, at + i) < 0x80 || byteAt(text, at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string_view characterAt(std::string_view text, std::size_t at) {
    const std::size_t length = utf8SequenceLength(text, at);
    return text.substr(at, length == 0 ? 1 : length);
}

bool isControlCharacter(std::string_view character) {
    const unsigned char lead = byteAt(character, 0);
    if (character.size() == 1) {
        return lead < 0x20 || lead == 0x7F || (lead >= 0x80 && lead <= 0x9F);
    }
    return character.size() == 2 && lead == 0xC2 && byteAt(character, 1) <= 0x9F;
}

}  // namespace kestrel
