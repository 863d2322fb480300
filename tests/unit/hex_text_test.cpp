#include "util/hex_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {
namespace {

TEST(HexDump, RowsThenTheCharacters) {
    struct Row {
        std::vector<std::uint8_t> bytes;
        std::string dump;
    };
    std::vector<std::uint8_t> sixteen;
    for (std::uint8_t i = 0; i < 16; ++i) {
        sixteen.push_back(static_cast<std::uint8_t>('a' + i));
    }
    std::vector<std::uint8_t> seventeen = sixteen;
    seventeen.push_back(0xFF);
    const std::vector<Row> rows = {
        {{}, ""},
        {{0x41, 0x00, 0x0A}, "0000 41 00 0a \nDECODE:\nA\\0_\n\n"},
        {{0x20, 0x21, 0x01, 0x7F}, "0000 20 21 01 7f \nDECODE:\n_!_\x7f\n\n"},
        {sixteen,
         "0000 61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f 70 \n"
         "DECODE:\nabcdefghijklmnop\n\n"},
        {seventeen,
         "0000 61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f 70 \n"
         "0010 ff \n"
         "DECODE:\nabcdefghijklmnop\n\xff\n\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(hexDumpText(row.bytes.data(), row.bytes.size()), row.dump);
    }
}

TEST(HexDump, CounterRunsInUpperCaseHex) {
    const std::vector<std::uint8_t> bytes(0x101, 0x30);
    const std::string out = hexDumpText(bytes.data(), bytes.size());
    EXPECT_NE(out.find("\n00A0 30 "), std::string::npos);
    EXPECT_NE(out.find("\n00F0 30 "), std::string::npos);
    EXPECT_NE(out.find("\n0100 30 \nDECODE:\n"), std::string::npos);
}

}  // namespace
}  // namespace kestrel
