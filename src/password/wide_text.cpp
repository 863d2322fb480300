#include "password/wide_text.h"

#include "util/text_encoding.h"

namespace kestrel {

std::optional<std::u16string> localeToWide(std::string_view text) {
    const std::optional<std::string> bytes = localeToUtf16le(text);
    if (!bytes) {
        return std::nullopt;
    }
    std::u16string wide;
    wide.reserve(bytes->size() / 2);
    for (std::size_t i = 0; i + 1 < bytes->size(); i += 2) {
        const auto low = static_cast<unsigned char>((*bytes)[i]);
        const auto high = static_cast<unsigned char>((*bytes)[i + 1]);
        wide.push_back(static_cast<char16_t>(low | (high << 8)));
    }
    return wide;
}

std::optional<std::string> wideToUtf8(std::u16string_view text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return std::nullopt;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return std::nullopt;
        }
        if (code < 0x80) {
            utf8.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (code >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            utf8.push_back(static_cast<char>(0xE0 | (code >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xF0 | (code >> 18)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return utf8;
}

std::string wideToUtf16le(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(2 * text.size());
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

}  // namespace kestrel
