// LDIF comment lines: the one way every comment of the program is written, in a preview,
// a journal or an LDIF-only output.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// `text` as comment lines ("# text\n", "#\n" for an empty line). Each line break in it
// (CR LF, LF or CR) starts another comment line, so no text can begin a line of its own;
// other control characters but tab (utf8_characters.h: DEL and C1 too) are written as "?".
// Never folded.
std::string ldifComment(std::string_view text);

}  // namespace kestrel
