#include "attr/sid_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/hex_text.h"

namespace kestrel {
namespace {

struct SidRow {
    std::string text;
    std::string bytes;
};

TEST(SidText, EncodesThePublishedLayout) {
    const std::vector<SidRow> rows = {
        {"S-1-5-32-544", "01020000000000052000000020020000"},
        {"s-1-5-32-544", "01020000000000052000000020020000"},
        {"S-1-05-0032-000544", "01020000000000052000000020020000"},
        {"S-1-5", "0100000000000005"},
        {"S-1-0", "0100000000000000"},
        {"S-1-5-21-1004336348-1177238915-682003330-512",
         "010500000000000515000000dcf4dc3b833d2b46828ba62800020000"},
        {"S-1-4294967295-4294967295", "01010000ffffffffffffffff"},
        {"S-1-0x5-18", "010100000000000512000000"},
        {"S-1-0X123456789abc-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15",
         "010f123456789abc0100000002000000030000000400000005000000060000000700000008000000"
         "090000000a0000000b0000000c0000000d0000000e0000000f000000"},
        {"S-1-0xFFFFFFFFFFFF-1", "0101ffffffffffff01000000"},
        {"S-1-0x0000000000000005-1", "010100000000000501000000"},
    };
    for (const auto& row : rows) {
        const auto sid = parseSidText(row.text);
        ASSERT_TRUE(sid.has_value()) << row.text;
        EXPECT_EQ(hexText(*sid), row.bytes) << row.text;
    }
}

TEST(SidText, RefusesEverythingElse) {
    const std::vector<std::string> rows = {
        "",
        "S",
        "S-",
        "S-1",
        "S-1-",
        "S-1-5-",
        "S-1-5--32",
        "S-1--5",
        "S--1-5",
        "SS-1-5",
        "-1-5",
        "X-1-5-32",
        "S-2-5-32",  // only revision 1 exists
        "S-0-5-32",
        "S-256-5",
        "S-1-4294967296-1",       // a decimal authority must fit in 32 bits
        "S-1-0x1000000000000-1",  // 49 bits
        "S-1-0x-1",
        "S-1-0xg-1",
        "S-1-x5-1",
        "S-1-5-4294967296",
        "S-1-5-99999999999999999999999999999999",
        "S-1-5-0x20",  // sub-authorities are decimal only
        "S-1-5-+32",
        "S-1-5--1",
        "S-1-5- 32",
        " S-1-5-32",
        "S-1-5-32 ",
        "S-1-5-32a",
        "S-1-5-32\n",
        "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16",  // 16 sub-authorities
        "BA",                                            // no SDDL aliases
    };
    for (const auto& text : rows) {
        EXPECT_FALSE(parseSidText(text).has_value()) << "[" << text << "]";
    }
}

TEST(SidText, LongInputIsRefusedQuickly) {
    EXPECT_FALSE(parseSidText("S-1-5-" + std::string(1 << 20, '1')).has_value());
    std::string many = "S-1-5";
    for (int i = 0; i < 100000; ++i) {
        many += "-1";
    }
    EXPECT_FALSE(parseSidText(many).has_value());
}

}  // namespace
}  // namespace kestrel
