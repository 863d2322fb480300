#include "util/ldif_comment.h"

#include <cstddef>

namespace kestrel {
namespace {

void appendCommentLine(std::string& out, const std::string& text) {
    out += text.empty() ? "#" : "# " + text;
    out += '\n';
}

// The length of a C1 control character (U+0080 to U+009F) in UTF-8 at `text`, or 0.
std::size_t c1ControlLength(std::string_view text) {
    return text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xC2 &&
                   static_cast<unsigned char>(text[1]) >= 0x80 &&
                   static_cast<unsigned char>(text[1]) <= 0x9F
               ? 2
               : 0;
}

}  // namespace

// Every line break (CR LF, LF or CR) starts a new comment line, so no text can leave the
// comment. Other control characters would cut the line short for some readers (NUL) or
// drive the terminal a dry run is printed on (ESC, DEL, the C1 controls).
std::string ldifComment(std::string_view text) {
    std::string out;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') {
            appendCommentLine(out, line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
            line += '?';
        } else if (const std::size_t length = c1ControlLength(text.substr(i)); length != 0) {
            line += '?';
            i += length - 1;
        } else {
            line += c;
        }
    }
    appendCommentLine(out, line);
    return out;
}

}  // namespace kestrel
