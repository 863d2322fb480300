#include "directory/value_match.h"

#include <optional>
#include <string>

#include "dn/dn_key.h"
#include "util/case_fold.h"
#include "util/utf8_characters.h"

namespace kestrel {
namespace {

// The code point of one character from characterAt; a byte of no valid sequence gets a
// number above Unicode's range, so it equals only itself.
char32_t codePoint(std::string_view character) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(character[i]); };
    switch (character.size()) {
        case 1:
            return byte(0) < 0x80 ? byte(0) : 0x110000u + byte(0);
        case 2:
            return ((byte(0) & 0x1Fu) << 6) | (byte(1) & 0x3Fu);
        case 3:
            return ((byte(0) & 0x0Fu) << 12) | ((byte(1) & 0x3Fu) << 6) | (byte(2) & 0x3Fu);
        default:
            return ((byte(0) & 0x07u) << 18) | ((byte(1) & 0x3Fu) << 12) |
                   ((byte(2) & 0x3Fu) << 6) | (byte(3) & 0x3Fu);
    }
}

std::u32string folded(std::string_view text) {
    std::u32string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::string_view character = characterAt(text, at);
        out.push_back(simpleCaseFold(codePoint(character)));
        at += character.size();
    }
    return out;
}

// Nothing when either is not a DN dnKey reads.
std::optional<bool> sameObject(std::string_view a, std::string_view b) {
    const std::optional<DnKey> first = dnKey(a);
    const std::optional<DnKey> second = dnKey(b);
    if (!first || !second) {
        return std::nullopt;
    }
    return first->path == second->path;
}

}  // namespace

bool sameValue(ValueSyntax syntax, std::string_view a, std::string_view b) {
    switch (syntax) {
        case ValueSyntax::Exact:
            return a == b;
        case ValueSyntax::Dn:
            if (const std::optional<bool> same = sameObject(a, b)) {
                return *same;
            }
            return folded(a) == folded(b);
        case ValueSyntax::Text:
            return folded(a) == folded(b);
        case ValueSyntax::Unknown:
            break;
    }
    return folded(a) == folded(b) || sameObject(a, b).value_or(false);
}

}  // namespace kestrel
