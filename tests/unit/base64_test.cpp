#include "util/base64.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using namespace std::string_literals;

TEST(EncodeBase64Test, KnownBytes) {
    struct Row {
        std::string bytes;
        std::string base64;
    };
    const std::vector<Row> rows = {
        // RFC 4648 section 10.
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        // S-1-5-32-544 (BUILTIN\Administrators) in its binary layout.
        {"\x01\x02\x00\x00\x00\x00\x00\x05\x20\x00\x00\x00\x20\x02\x00\x00"s,
         "AQIAAAAAAAUgAAAAIAIAAA=="},
        {"\x00\xff\xfe\x80\x7f"s, "AP/+gH8="},
        {"\xff\xff\xff"s, "////"},
        {"\xfb\xef\xbe"s, "++++"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(encodeBase64(row.bytes), row.base64) << row.base64;
    }
}

TEST(DecodeBase64Test, DecodesWhatTheWriterEncodes) {
    for (const std::string& bytes :
         {""s, "a"s, "ab"s, "abc"s, "CN=Jos\xc3\xa9,DC=x"s, "\0\xff\x7f\x80 "s}) {
        SCOPED_TRACE(encodeBase64(bytes));
        EXPECT_EQ(decodeBase64(encodeBase64(bytes)), bytes);
    }
}

// A value half decoded would be a different DN: anything but the padded standard alphabet
// is refused whole.
TEST(DecodeBase64Test, RefusesWhatIsNotBase64) {
    const std::vector<std::string> refused{
        "Y249YQ",      // no padding
        "Y249Y",       // a length that no padding can make
        "Y2==YQ==",    // padding inside
        "Y249YQ=a",    // padding then data
        "=249",        // padding first
        "Y2-9",        // the URL-safe alphabet
        "Y24 9",       // a blank inside
        "Y249\nYQ==",  // a line break inside
    };
    for (const std::string& text : refused) {
        SCOPED_TRACE(text);
        EXPECT_EQ(decodeBase64(text), std::nullopt);
    }
}

}  // namespace
}  // namespace kestrel
