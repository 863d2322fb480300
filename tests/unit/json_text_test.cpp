#include "util/json_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

using namespace std::string_literals;

TEST(JsonStringTest, EscapesWhatRfc8259Requires) {
    struct Case {
        const char* name;
        std::string text;
        std::string json;
    };
    const std::vector<Case> cases{
        {"plain", "CN=a,DC=x", "\"CN=a,DC=x\""},
        {"empty", "", "\"\""},
        {"quote and backslash", "CN=a\\\"b\\,c", "\"CN=a\\\\\\\"b\\\\,c\""},
        {"short escapes", "\n\r\t\b\f", "\"\\n\\r\\t\\b\\f\""},
        {"other control characters and DEL", "\x01\x1b\x1f\x7f"s,
         "\"\\u0001\\u001b\\u001f\\u007f\""},
        {"NUL", "a\0b"s, "\"a\\u0000b\""},
        {"slash stays", "a/b", "\"a/b\""},
        {"valid UTF-8 kept", "Jos\xc3\xa9 \xe2\x82\xac \xf0\x9f\x90\xa6",
         "\"Jos\xc3\xa9 \xe2\x82\xac \xf0\x9f\x90\xa6\""},
        {"the last code point kept", "\xf4\x8f\xbf\xbf", "\"\xf4\x8f\xbf\xbf\""},
        {"U+2028 and U+2029", "\xe2\x80\xa8\xe2\x80\xa9", "\"\\u2028\\u2029\""},
        {"C1 controls, then U+00A0 kept", "\xc2\x80\xc2\x9b\xc2\xa0", "\"\\u0080\\u009b\xc2\xa0\""},
        // Each byte outside a valid sequence is one U+FFFD; what follows it is read afresh.
        {"Latin-1 byte", "Jos\xe9", "\"Jos\\ufffd\""},
        {"lone continuation bytes", "\x80\xbf", "\"\\ufffd\\ufffd\""},
        {"sequence cut short, then ASCII",
         "\xc3"
         "a",
         "\"\\ufffda\""},
        {"sequence cut short at the end", "a\xe2\x82", "\"a\\ufffd\\ufffd\""},
        {"overlong forms", "\xc0\xaf\xe0\x80\xaf", "\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"surrogate", "\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
        {"above U+10FFFF", "\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"bytes never in UTF-8", "\xfe\xff", "\"\\ufffd\\ufffd\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(jsonString(c.text), c.json);
    }
}

}  // namespace
}  // namespace kestrel
