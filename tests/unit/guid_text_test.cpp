#include "attr/guid_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/hex_text.h"

namespace kestrel {
namespace {

TEST(GuidText, EncodesTheMemoryLayout) {
    struct Row {
        std::string text;
        std::string bytes;
    };
    const std::vector<Row> rows = {
        {"85C04D89-D68C-4785-B801-DBF980F97C5C", "894dc0858cd68547b801dbf980f97c5c"},
        {"85c04d89-d68c-4785-b801-dbf980f97c5c", "894dc0858cd68547b801dbf980f97c5c"},
        {"00112233-4455-6677-8899-aabbccddeeff", "33221100554477668899aabbccddeeff"},
        {"00000000-0000-0000-0000-000000000000", "00000000000000000000000000000000"},
    };
    for (const auto& row : rows) {
        const auto guid = parseGuidText(row.text);
        ASSERT_TRUE(guid.has_value()) << row.text;
        EXPECT_EQ(hexText(*guid), row.bytes) << row.text;
    }
}

TEST(GuidText, RefusesAnythingButTheExactForm) {
    const std::vector<std::string> rows = {
        "",
        "nope",
        "{85C04D89-D68C-4785-B801-DBF980F97C5C}",  // braces are removed by the caller
        "85C04D89D68C4785B801DBF980F97C5C",
        "85C04D89-D68C-4785-B801-DBF980F97C5",
        "85C04D89-D68C-4785-B801-DBF980F97C5C0",
        "85C04D89-D68C-4785-B801-DBF980F97C5G",
        "85C04D8-9D68C-4785-B801-DBF980F97C5C",
        "85C04D89-D68C-4785-B801+DBF980F97C5C",
        "85C04D89-D68C-4785-B801-DBF980F97C5C ",
        " 85C04D89-D68C-4785-B801-DBF980F97C5",
        "85C04D89-D68C-4785-B801-DBF980F9-C5C",
        "0x5C04D8-D68C-4785-B801-DBF980F97C5C",
    };
    for (const auto& text : rows) {
        EXPECT_FALSE(parseGuidText(text).has_value()) << "[" << text << "]";
    }
}

}  // namespace
}  // namespace kestrel
