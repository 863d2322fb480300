#include "util/terminal_text.h"

#include "util/hex_text.h"
#include "util/utf8_characters.h"

namespace kestrel {
namespace {

std::string escapeControls(std::string_view text, std::string_view prefix) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::string_view character = characterAt(text, at);
        at += character.size();
        if (!isControlCharacter(character)) {
            out.append(character);
            continue;
        }
        for (std::size_t i = 0; i < character.size(); ++i) {
            out.append(prefix);
            out += upperHexText(character.substr(i, 1));
        }
    }
    return out;
}

}  // namespace

std::string terminalDn(std::string_view dn) {
    return escapeControls(dn, "\\");
}

std::string terminalText(std::string_view text) {
    return escapeControls(text, "\\x");
}

std::string terminalServerText(std::string_view text) {
    const std::size_t body = text.find_last_not_of("\r\n") + 1;  // npos + 1 is 0
    return terminalText(text.substr(0, body)) + std::string(text.substr(body));
}

}  // namespace kestrel
