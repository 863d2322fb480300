#include "util/base64.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "util/ldif_writer.h"

namespace kestrel {
namespace {

using namespace std::string_literals;

TEST(DecodeBase64Test, DecodesWhatTheWriterEncodes) {
    for (const std::string& bytes :
         {""s, "a"s, "ab"s, "abc"s, "CN=Jos\xc3\xa9,DC=x"s, "\0\xff\x7f\x80 "s}) {
        SCOPED_TRACE(ldifBase64(bytes));
        EXPECT_EQ(decodeBase64(ldifBase64(bytes)), bytes);
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
