#include "attr/modification_set.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using Texts = std::vector<std::string>;

const BinaryValue kSid544 = {0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05,
                             0x20, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x00};
const BinaryValue kSid545 = {0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05,
                             0x20, 0x00, 0x00, 0x00, 0x21, 0x02, 0x00, 0x00};

class ModificationSetTest : public ::testing::Test {
  protected:
    std::ostringstream out;
    std::ostringstream err;
    Reporter reporter{out, err};
    ModificationSet set;
};

TEST_F(ModificationSetTest, ClearsKeepOrderAndDuplicates) {
    set.clear("otherattr");
    set.clear("scriptpath");
    set.clear("otherattr");
    EXPECT_EQ(set.clears, (Texts{"otherattr", "scriptpath", "otherattr"}));
}

TEST_F(ModificationSetTest, LaterReplaceWins) {
    set.replaceText("description", "x");
    set.replaceText("description", "y");
    ASSERT_EQ(set.replaceValues.size(), 1u);
    EXPECT_EQ(set.replaceValues.at("description"), "y");
}

TEST_F(ModificationSetTest, AppendTextsMergesAndSkipsEmptyValues) {
    set.appendTexts(reporter, set.addValues, "drink", {"a", "", "b"});
    set.appendTexts(reporter, set.addValues, "drink", {"c"});
    set.appendTexts(reporter, set.removeValues, "drink", {"a"});
    EXPECT_EQ(set.addValues.at("drink"), (Texts{"a", "b", "c"}));
    EXPECT_EQ(set.removeValues.at("drink"), (Texts{"a"}));
    EXPECT_EQ(out.str(), "");
}

TEST_F(ModificationSetTest, AppendTextsMakesAnEntryEvenWhenNothingIsLeft) {
    set.appendTexts(reporter, set.addValues, "drink", {"", ""});
    set.appendTexts(reporter, set.removeValues, "other", {});
    ASSERT_EQ(set.addValues.count("drink"), 1u);
    EXPECT_TRUE(set.addValues.at("drink").empty());
    ASSERT_EQ(set.removeValues.count("other"), 1u);
    EXPECT_TRUE(set.removeValues.at("other").empty());
}

TEST_F(ModificationSetTest, AppendTextsDebugLinesNameEachAppendedValue) {
    reporter.debug = true;
    set.appendTexts(reporter, set.addValues, "drink", {"a", "", "b c"});
    EXPECT_EQ(out.str(),
              "DEBUG: MV Val Attrib - [drink] with [a]\n"
              "DEBUG: MV Val Attrib - [drink] with [b c]\n");
}

TEST_F(ModificationSetTest, MapsIterateInByteOrder) {
    for (const char* name : {"b", "ab", "\xc3\xa9t\xc3\xa9", "aa", "a", "z"}) {
        set.appendTexts(reporter, set.addValues, name, {"v"});
    }
    Texts names;
    for (const auto& entry : set.addValues) {
        names.push_back(entry.first);
    }
    // Bytes compare unsigned: a multi-byte name sorts after every ASCII one.
    EXPECT_EQ(names, (Texts{"a", "aa", "ab", "b", "z", "\xc3\xa9t\xc3\xa9"}));
}

TEST_F(ModificationSetTest, BinariesMergeUnderTheUnprefixedName) {
    EXPECT_EQ(set.appendBinaries(reporter, set.addBinary, "sid##objectsid", {"S-1-5-32-544"}), 0);
    EXPECT_EQ(set.appendBinaries(reporter, set.addBinary, "objectsid##sid", {"S-1-5-32-545"}), 0);
    EXPECT_EQ(set.appendBinaries(reporter, set.addBinary, "sid##objectsid", {"", ""}), 0);
    ASSERT_EQ(set.addBinary.size(), 1u);
    EXPECT_EQ(set.addBinary.at("objectsid"), (std::vector<BinaryValue>{kSid544, kSid545}));
    EXPECT_TRUE(set.removeBinary.empty());
}

TEST_F(ModificationSetTest, AppendBinariesKeepsWhatEncodedAndReportsTheFailure) {
    reporter.debug = true;
    const int status =
        set.appendBinaries(reporter, set.removeBinary, "bin##blob", {"0a", "zz", "", "0b0c"});
    EXPECT_EQ(status, -1);
    EXPECT_EQ(set.removeBinary.at("blob"), (std::vector<BinaryValue>{{0x0a}, {0x0b, 0x0c}}));
    EXPECT_EQ(out.str(),
              "DEBUG: Encoding BIN: 0a\n"
              "DEBUG: Data Size - 1\n"
              "DEBUG: MV Val Attrib - [blob] with [0a]\n"
              "DEBUG: Encoding BIN: zz\n"
              "ERROR: Error in HEX conversion - (z) [zz]\n"
              "DEBUG: Error in data format.\n"
              "DEBUG: Encoding BIN: 0b0c\n"
              "DEBUG: Data Size - 2\n"
              "DEBUG: MV Val Attrib - [blob] with [0b0c]\n");
}

TEST_F(ModificationSetTest, AppendBinariesMakesAnEntryEvenWhenEveryValueFails) {
    EXPECT_EQ(set.appendBinaries(reporter, set.addBinary, "guid##someattr", {"x", "y"}), 1705);
    ASSERT_EQ(set.addBinary.count("someattr"), 1u);
    EXPECT_TRUE(set.addBinary.at("someattr").empty());
    EXPECT_EQ(out.str(),
              "ERROR (UuidFromString): x] (1705) The string universal unique identifier (UUID) "
              "is invalid.\n"
              "ERROR (UuidFromString): y] (1705) The string universal unique identifier (UUID) "
              "is invalid.\n");
}

TEST_F(ModificationSetTest, ReplaceBinaryStoresOnlyValuesThatEncoded) {
    EXPECT_EQ(set.replaceBinaryValue(reporter, "sid##objectsid", "S-1-5-32-544"), 0);
    EXPECT_EQ(set.replaceBinaryValue(reporter, "sid##objectsid", "S-1-5-32-545"), 0);
    EXPECT_EQ(set.replaceBinaryValue(reporter, "sid##objectsid", "garbage"), 1337);
    EXPECT_EQ(set.replaceBinaryValue(reporter, "sid##othersid", "garbage"), 1337);
    ASSERT_EQ(set.replaceBinary.size(), 1u);
    EXPECT_EQ(set.replaceBinary.at("objectsid"), kSid545);
}

TEST_F(ModificationSetTest, UnknownMarkerGivesAnEmptyValueUnderTheMarkedName) {
    EXPECT_EQ(set.replaceBinaryValue(reporter, "foo##bar", "text"), 0);
    EXPECT_EQ(set.appendBinaries(reporter, set.addBinary, "foo##bar", {"text"}), 0);
    EXPECT_EQ(set.replaceBinary.at("foo##bar"), BinaryValue{});
    EXPECT_EQ(set.addBinary.at("foo##bar"), (std::vector<BinaryValue>{BinaryValue{}}));
}

}  // namespace
}  // namespace kestrel
