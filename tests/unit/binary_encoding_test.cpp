#include "attr/binary_encoding.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "util/hex_text.h"

namespace kestrel {
namespace {

constexpr const char* kGuid = "85C04D89-D68C-4785-B801-DBF980F97C5C";
constexpr const char* kGuidBytes = "894dc0858cd68547b801dbf980f97c5c";
constexpr const char* kSidBytes = "01020000000000052000000020020000";
constexpr const char* kBadSid = " (1337) The security ID structure is invalid.\n";
constexpr const char* kBadGuid =
    " (1705) The string universal unique identifier (UUID) is invalid.\n";

struct EncodeRow {
    std::string attribute;
    std::string valueText;
    bool debug;
    int status;
    std::string attributeAfter;
    std::string bytes;
    std::string output;
};

void runRows(const std::vector<EncodeRow>& rows) {
    for (const auto& row : rows) {
        std::ostringstream out;
        std::ostringstream err;
        Reporter reporter(out, err);
        reporter.debug = row.debug;
        std::string attribute = row.attribute;
        BinaryValue value = {0xde, 0xad};  // whatever was there before is not kept
        const int status = encodeBinaryValue(reporter, attribute, row.valueText, value);
        const std::string where = row.attribute + " with [" + row.valueText + "]";
        EXPECT_EQ(status, row.status) << where;
        EXPECT_EQ(attribute, row.attributeAfter) << where;
        if (status == 0) {
            EXPECT_EQ(hexText(value), row.bytes) << where;
        }
        EXPECT_EQ(out.str(), row.output) << where;
        EXPECT_EQ(err.str(), "") << where;
    }
}

TEST(EncodeBinaryValue, Sid) {
    runRows({
        {"sid##objectsid", "S-1-5-32-544", false, 0, "objectsid", kSidBytes, ""},
        {"sid##objectsid", "S-1-5-32-544", true, 0, "objectsid", kSidBytes,
         "DEBUG: Encoding SID: S-1-5-32-544\n"
         "DEBUG: SID String=S-1-5-32-544\n"
         "DEBUG: Data Size - 16\n"},
        {"sid##objectsid", "not a sid", false, 1337, "objectsid", "",
         std::string("ERROR (ConvertStringSidToSid): [not a sid]") + kBadSid},
        {"sid##objectsid", "S-1-5-", true, 1337, "objectsid", "",
         std::string("DEBUG: Encoding SID: S-1-5-\n"
                     "DEBUG: SID String=S-1-5-\n"
                     "ERROR (ConvertStringSidToSid): [S-1-5-]") +
             kBadSid},
        {"sid##objectsid", "", false, 1337, "objectsid", "",
         std::string("ERROR (ConvertStringSidToSid): []") + kBadSid},
        // The prefix need not lead, and only its first occurrence is removed.
        {"mysid##attr", "S-1-5-32-544", false, 0, "myattr", kSidBytes, ""},
        {"sid##sid##x", "S-1-5-32-544", false, 0, "sid##x", kSidBytes, ""},
    });
}

TEST(EncodeBinaryValue, Guid) {
    const std::string braced = std::string("{") + kGuid + "}";
    runRows({
        {"guid##someattr", braced, false, 0, "someattr", kGuidBytes, ""},
        {"guid##someattr", kGuid, false, 0, "someattr", kGuidBytes, ""},
        {"guid##someattr", braced, true, 0, "someattr", kGuidBytes,
         "DEBUG: Encoding GUID: " + braced + "\n" + "DEBUG: GUID String=" + kGuid + "\n" +
             "DEBUG: Data Size - 16\n"},
        {"guid##someattr", "85c04d89-d68c-4785-b801-dbf980f97c5c", false, 0, "someattr", kGuidBytes,
         ""},
        // One "{" and one "}" are removed wherever they stand.
        {"guid##someattr", "85C04D89-{D68C-4785-B801-DBF980F97C5C}", false, 0, "someattr",
         kGuidBytes, ""},
        {"guid##someattr", "{85C04D89-D68C-4785-B801-DBF980F97C5C", false, 0, "someattr",
         kGuidBytes, ""},
        {"guid##someattr", "{{" + std::string(kGuid) + "}}", false, 1705, "someattr", "",
         "ERROR (UuidFromString): {" + std::string(kGuid) + "}]" + kBadGuid},
        {"guid##someattr", "{nope}", true, 1705, "someattr", "",
         std::string("DEBUG: Encoding GUID: {nope}\n"
                     "DEBUG: GUID String=nope\n"
                     "ERROR (UuidFromString): nope]") +
             kBadGuid},
        {"guid##someattr", "", false, 1705, "someattr", "",
         std::string("ERROR (UuidFromString): ]") + kBadGuid},
        {"guid##someattr", "85C04D89D68C4785B801DBF980F97C5C", false, 1705, "someattr", "",
         std::string("ERROR (UuidFromString): 85C04D89D68C4785B801DBF980F97C5C]") + kBadGuid},
    });
}

TEST(EncodeBinaryValue, Hex) {
    runRows({
        {"bin##binattr", "3f 4567 0e 69", false, 0, "binattr", "3f45670e69", ""},
        {"bin##binattr", "3F 4567 0E 69", true, 0, "binattr", "3f45670e69",
         "DEBUG: Encoding BIN: 3F 4567 0E 69\n"
         "DEBUG: Data Size - 5\n"},
        {"bin##binattr", "00ff", false, 0, "binattr", "00ff", ""},
        {"bin##binattr", "", true, 0, "binattr", "",
         "DEBUG: Encoding BIN: \n"
         "DEBUG: Data Size - 0\n"},
        {"bin##binattr", "   ", false, 0, "binattr", "", ""},
        {"bin##binattr", "ABC", false, -1, "binattr", "",
         "ERROR: Odd number of HEX characters. (3) [abc]\n"},
        {"bin##binattr", "A B C", false, -1, "binattr", "",
         "ERROR: Odd number of HEX characters. (3) [abc]\n"},
        {"bin##binattr", "0g", false, -1, "binattr", "",
         "ERROR: Error in HEX conversion - (g) [0g]\n"},
        {"bin##binattr", "0G", true, -1, "binattr", "",
         "DEBUG: Encoding BIN: 0G\n"
         "ERROR: Error in HEX conversion - (g) [0g]\n"},
        {"bin##binattr", "00x1", false, -1, "binattr", "",
         "ERROR: Error in HEX conversion - (x) [00x1]\n"},
        {"bin##binattr", "zy", false, -1, "binattr", "",
         "ERROR: Error in HEX conversion - (z) [zy]\n"},
        // Only the blank is ignored; a tab counts as a character.
        {"bin##binattr", "0a\t0b", false, -1, "binattr", "",
         "ERROR: Odd number of HEX characters. (5) [0a\t0b]\n"},
        {"bin##binattr", "0a\t\t0b", false, -1, "binattr", "",
         "ERROR: Error in HEX conversion - (\t) [0a\t\t0b]\n"},
        {"bin##binattr", "0-", false, -1, "binattr", "",
         "ERROR: Error in HEX conversion - (-) [0-]\n"},
    });
}

TEST(EncodeBinaryValue, PrefixChecksAreIndependent) {
    runRows({
        // Every prefix found is removed; the last one found selects the encoding.
        {"sid##guid##attr", kGuid, true, 0, "attr", kGuidBytes,
         std::string("DEBUG: Encoding SID: ") + kGuid + "\n" + "DEBUG: Encoding GUID: " + kGuid +
             "\n" + "DEBUG: GUID String=" + kGuid + "\n" + "DEBUG: Data Size - 16\n"},
        {"bin##guid##attr", "0a", false, 0, "attr", "0a", ""},
        // Removing "sid##" can reveal a "bin##" that the later check then finds.
        {"bisid##n##attr", "0a", false, 0, "attr", "0a", ""},
        // The marker without a known prefix: no conversion, empty value, success.
        {"foo##bar", "whatever", true, 0, "foo##bar", "", "DEBUG: Data Size - 0\n"},
        {"##", "x", false, 0, "##", "", ""},
        // Prefixes are matched on the folded name the parser hands over.
        {"SID##objectsid", "S-1-5-32-544", false, 0, "SID##objectsid", "", ""},
    });
}

}  // namespace
}  // namespace kestrel
