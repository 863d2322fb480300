// Text that comes from outside (a DN from standard input or a file, a server's answer) on a
// line for a person: no control character of it reaches the terminal, where it could move
// the cursor, recolour or clear the screen, or start a line the program never wrote.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// `dn` with each byte of a control character (utf8_characters.h: tab included) as an RFC
// 4514 hex escape ("\0A", "\1B", "\C2\9B"): the line still names the same object.
std::string terminalDn(std::string_view dn);

// `text` with each byte of a control character (tab and line breaks included, so a server's
// text stays on its line) as "\x0A", "\x1B", "\xC2\x9B".
std::string terminalText(std::string_view text);

// A server's message as terminalText writes it, but for the line breaks that end it, which
// stay as they are: servers end their messages with one, nothing can follow it on the line,
// and the lines a person has always read keep their shape.
std::string terminalServerText(std::string_view text);

}  // namespace kestrel
