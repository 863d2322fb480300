#include "attr/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

struct TokenizeRow {
    std::string text;
    std::string delimiter;
    std::vector<std::string> pieces;
};

TEST(Tokenize, CutsAtEveryDelimiter) {
    const std::vector<TokenizeRow> rows = {
        {"", ":", {}},
        {"", "", {}},
        {"objectclass", ":", {"objectclass"}},
        {"description::x", ":", {"description", "", "x"}},
        {"scriptpath:-", ":", {"scriptpath", "-"}},
        {"scriptpath:-:", ":", {"scriptpath", "-"}},  // empty last piece dropped
        {"a:b::", ":", {"a", "b", ""}},               // only the last one
        {":", ":", {""}},
        {"::", ":", {"", ""}},
        {":a", ":", {"", "a"}},
        {"a;;b", ";", {"a", "", "b"}},
        {";;", ";", {"", ""}},
        {"description||||x", "||", {"description", "", "x"}},
        {"a|||b", "||", {"a", "|b"}},  // scanning from the left, no overlap
        {"a||||", "||", {"a", ""}},
        {"member#+#cn=x", "#", {"member", "+", "cn=x"}},
        // Partial matches of a longer delimiter must not hide a real one.
        {"aabaabaab", "aab", {"", "", ""}},
        {"xaaabyaab", "aab", {"xa", "y"}},
        {"abababc", "ababc", {"ab"}},
        {"a:b", "a:b:c", {"a:b"}},
        // An empty delimiter consumes one character per cut.
        {"abc", "", {"", "", ""}},
        {"x", "", {""}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(tokenize(row.text, row.delimiter), row.pieces)
            << "text [" << row.text << "] delimiter [" << row.delimiter << "]";
    }
}

TEST(Tokenize, LongDelimiterAgainstLongText) {
    // Nearly matching delimiter at every position: must stay linear.
    const std::string delimiter = std::string(1 << 16, 'a') + "b";
    const std::string text = std::string(1 << 20, 'a') + "b" + std::string(1 << 20, 'a');
    const auto pieces = tokenize(text, delimiter);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], std::string((1 << 20) - (1 << 16), 'a'));
    EXPECT_EQ(pieces[1], std::string(1 << 20, 'a'));
}

struct SplitRow {
    std::string text;
    std::string delimiter;
    int count;
    std::string first;
    std::string second;
    std::string third;
};

TEST(BoundedSplit, KeepsTheRestInTheThirdPiece) {
    const std::vector<SplitRow> rows = {
        {"", ":", 0, "", "", ""},
        {"objectclass", ":", 1, "objectclass", "", ""},
        {"scriptpath:-", ":", 2, "scriptpath", "-", ""},
        {"scriptpath:-:", ":", 2, "scriptpath", "-", ""},
        {"description::Hello", ":", 3, "description", "", "Hello"},
        {"description::Hello:World", ":", 3, "description", "", "Hello:World"},
        {"a:b:c:d", ":", 3, "a", "b", "c:d"},
        {"a:b:c::d", ":", 3, "a", "b", "c::d"},
        {"a:b:c:d:", ":", 3, "a", "b", "c:d"},  // the tokenizer drops the trailing piece
        {"a:b:::", ":", 3, "a", "b", ":"},
        {"description||+||a||b", "||", 3, "description", "+", "a||b"},
        {"description||||x", "||", 3, "description", "", "x"},
        {"abcde", "", 3, "", "", ""},
        {"ab", "", 2, "", "", ""},
    };
    for (const auto& row : rows) {
        const BoundedSplit split = boundedSplit(row.text, row.delimiter);
        EXPECT_EQ(split.pieceCount, row.count) << row.text;
        EXPECT_EQ(split.pieces[0], row.first) << row.text;
        EXPECT_EQ(split.pieces[1], row.second) << row.text;
        EXPECT_EQ(split.pieces[2], row.third) << row.text;
    }
}

TEST(BoundedSplit, ManyPiecesJoinBackInOnePass) {
    std::string text = "attr:op:";
    std::string expected;
    for (int i = 0; i < 100000; ++i) {
        text += "v:";
        expected += i == 0 ? "v" : ":v";
    }
    const BoundedSplit split = boundedSplit(text, ":");
    EXPECT_EQ(split.pieceCount, 3);
    EXPECT_EQ(split.pieces[2], expected);
}

}  // namespace
}  // namespace kestrel
