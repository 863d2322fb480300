#include "util/ldif_comment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

TEST(LdifCommentTest, NoTextLeavesTheCommentOrDrivesTheTerminal) {
    struct Row {
        const char* name;
        std::string text;
        std::string comment;
    };
    const std::vector<Row> rows{
        {"each line break starts a comment line", "a\r\nb\rc\n", "# a\n# b\n# c\n#\n"},
        {"tab kept, other controls shown as ?", "a\tb\x1b[2J\x7f", "# a\tb?[2J?\n"},
        {"C1 in UTF-8 and lone bytes that would be C1", "\xc2\x9b \x9b", "# ? ?\n"},
        {"UTF-8 with bytes in C1's range kept", "\xc3\x89mile", "# \xc3\x89mile\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ldifComment(row.text), row.comment);
    }
}

}  // namespace
}  // namespace kestrel
