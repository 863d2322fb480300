#include "util/terminal_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

using namespace std::string_literals;

// Each control character (C0 with tab, DEL, C1, a lone byte that would be C1) escaped byte
// by byte; everything else, valid UTF-8 or not, exactly as it came.
TEST(TerminalTextTest, EscapesEveryControlCharacterAndNothingElse) {
    struct Row {
        const char* name;
        std::string text;
        std::string dn;      // terminalDn
        std::string server;  // terminalText
    };
    const std::vector<Row> rows{
        {"plain", "CN=a\\,b,DC=x", "CN=a\\,b,DC=x", "CN=a\\,b,DC=x"},
        {"UTF-8 with bytes in C1's range", "\xc3\x89 \xe2\x82\xac", "\xc3\x89 \xe2\x82\xac",
         "\xc3\x89 \xe2\x82\xac"},
        {"line feed and carriage return", "a\nb\r", "a\\0Ab\\0D", "a\\x0Ab\\x0D"},
        {"an escape sequence", "\x1b[2J", "\\1B[2J", "\\x1B[2J"},
        {"tab, NUL, BEL and DEL", "\t\0\x07\x7f"s, "\\09\\00\\07\\7F", "\\x09\\x00\\x07\\x7F"},
        {"C1 in UTF-8", "a\xc2\x9b-\xc2\x85", "a\\C2\\9B-\\C2\\85", "a\\xC2\\x9B-\\xC2\\x85"},
        {"no-break space is not C1", "a\xc2\xa0", "a\xc2\xa0", "a\xc2\xa0"},
        {"lone bytes that would be C1", "\x9b\x80", "\\9B\\80", "\\x9B\\x80"},
        {"other bytes outside UTF-8 kept", "Jos\xe9 \xff", "Jos\xe9 \xff", "Jos\xe9 \xff"},
        {"a sequence cut short by a line feed", "\xc3\n", "\xc3\\0A", "\xc3\\x0A"},
        {"empty", "", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(terminalDn(row.text), row.dn);
        EXPECT_EQ(terminalText(row.text), row.server);
    }
}

// Servers end their messages with a line break: it stays, and so does the line's shape.
TEST(TerminalTextTest, AServerMessageKeepsTheLineBreaksThatEndIt) {
    EXPECT_EQ(terminalServerText("no write access\n"), "no write access\n");
    EXPECT_EQ(terminalServerText("#1:\n\t0: x\r\n"), "#1:\\x0A\\x090: x\r\n");
    EXPECT_EQ(terminalServerText("\n\x1b[2J"), "\\x0A\\x1B[2J");
    EXPECT_EQ(terminalServerText("\n"), "\n");
}

}  // namespace
}  // namespace kestrel
