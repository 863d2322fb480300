#include "util/ldif_comment.h"

#include <cstddef>

#include "util/utf8_characters.h"

namespace kestrel {
namespace {

void appendCommentLine(std::string& out, const std::string& text) {
    out += text.empty() ? "#" : "# " + text;
    out += '\n';
}

}  // namespace

// Every line break (CR LF, LF or CR) starts a new comment line, so no text can leave the
// comment. Other control characters would cut the line short for some readers (NUL) or
// drive the terminal a dry run is printed on (ESC, DEL, the C1 controls).
std::string ldifComment(std::string_view text) {
    std::string out;
    std::string line;
    for (std::size_t at = 0; at < text.size();) {
        const std::string_view character = characterAt(text, at);
        at += character.size();
        const char c = character.front();
        if (c == '\r' || c == '\n') {
            appendCommentLine(out, line);
            line.clear();
            if (c == '\r' && at < text.size() && text[at] == '\n') {
                ++at;
            }
        } else if (c != '\t' && isControlCharacter(character)) {
            line += '?';
        } else {
            line.append(character);
        }
    }
    appendCommentLine(out, line);
    return out;
}

}  // namespace kestrel
