#include "util/csv_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

using Cells = std::vector<std::string>;

struct ReadRow {
    std::string text;
    char delimiter;
    Cells header;
    std::vector<Cells> rows;  // each with its number first
};

TEST(CsvTable, ReadsRowsAsSpreadsheetsWriteThem) {
    const std::vector<ReadRow> rows = {
        {"dn,description\ncn=a,x\n", ',', {"dn", "description"}, {{"2", "cn=a", "x"}}},
        {"dn;description\r\ncn=a;x\r\ncn=b;y",
         ';',
         {"dn", "description"},
         {{"2", "cn=a", "x"}, {"3", "cn=b", "y"}}},
        {"\xEF\xBB\xBF"
         "dn;d\ncn=a;x",
         ';',
         {"dn", "d"},
         {{"2", "cn=a", "x"}}},
        {"dn,d\n\"cn=a,dc=x\",\"say \"\"hi\"\"\"\n",
         ',',
         {"dn", "d"},
         {{"2", "cn=a,dc=x", "say \"hi\""}}},
        {"dn;d\r\ncn=a;\"two\r\nlines;\"\r\ncn=b;z\r\n",
         ';',
         {"dn", "d"},
         {{"2", "cn=a", "two\r\nlines;"}, {"3", "cn=b", "z"}}},
        // The header's quoted delimiter is text; the one outside quotes decides.
        {"\"a;b\",dn\nx,cn=a\n", ',', {"a;b", "dn"}, {{"2", "x", "cn=a"}}},
        // One header cell: every line is one cell, whatever it holds.
        {"dn\ncn=a,dc=x;y\n", '\0', {"dn"}, {{"2", "cn=a,dc=x;y"}}},
        // Short rows have empty cells; blank and empty rows are left out.
        {"dn;a;b\ncn=a\n\n;;\ncn=b;;z\n",
         ';',
         {"dn", "a", "b"},
         {{"2", "cn=a", "", ""}, {"5", "cn=b", "", "z"}}},
        {"dn,a\ncn=a,x\r", ',', {"dn", "a"}, {{"2", "cn=a", "x"}}},
        {"dn,a\ncn=a,\"x\"\r", ',', {"dn", "a"}, {{"2", "cn=a", "x"}}},
        {"dn,a\ncn=\"a\",b\"c\n", ',', {"dn", "a"}, {{"2", "cn=\"a\"", "b\"c"}}},
        {"dn,a\ncn=a,\xC3\xA9t\xC3\xA9\n", ',', {"dn", "a"}, {{"2", "cn=a", "\xC3\xA9t\xC3\xA9"}}},
    };
    for (const ReadRow& row : rows) {
        CsvProblem problem;
        const std::optional<CsvTable> table = readCsvTable(row.text, problem);
        ASSERT_TRUE(table) << row.text << ": " << problem.reason;
        EXPECT_EQ(table->delimiter, row.delimiter) << row.text;
        EXPECT_EQ(table->header, row.header) << row.text;
        std::vector<Cells> got;
        for (const CsvRow& read : table->rows) {
            got.push_back({std::to_string(read.number)});
            got.back().insert(got.back().end(), read.cells.begin(), read.cells.end());
        }
        EXPECT_EQ(got, row.rows) << row.text;
    }
}

struct RefusalRow {
    std::string text;
    std::size_t row;
    std::size_t column;
    std::string reason;
};

TEST(CsvTable, RefusesWhatCannotBeReadNamingRowAndColumn) {
    const std::vector<RefusalRow> rows = {
        {"", 1, 0, "there is no header row"},
        {"\xEF\xBB\xBF", 1, 0, "there is no header row"},
        {"dn,a;b\n", 1, 0, "both"},
        {"dn,a\ncn=a,x,y\n", 2, 3, "the row has 3 cells, the header 2"},
        {"dn,a\ncn=a,\"open\n", 2, 2, "a quoted cell is not closed"},
        {"dn,a\ncn=a,x\ncn=b,\"open\nmore\n", 3, 2, "a quoted cell is not closed"},
        {"dn,a\ncn=a,\"x\"y\n", 2, 2, "text follows the closing quote of a cell"},
        {"dn,a\ncn=a,\xC3\x28\n", 2, 2, "the cell is not valid UTF-8"},
        {"dn,a\n\xED\xA0\x80,x\n", 2, 1, "the cell is not valid UTF-8"},  // a surrogate
        {"dn,a\xFF\n", 1, 2, "the cell is not valid UTF-8"},
        {std::string("dn,a\ncn=a,x\0y\n", 14), 2, 2, "the cell holds a NUL byte"},
    };
    for (const RefusalRow& row : rows) {
        CsvProblem problem;
        EXPECT_FALSE(readCsvTable(row.text, problem)) << row.text;
        EXPECT_EQ(problem.row, row.row) << row.text;
        EXPECT_EQ(problem.column, row.column) << row.text;
        EXPECT_NE(problem.reason.find(row.reason), std::string::npos)
            << row.text << ": " << problem.reason;
    }
}

}  // namespace
}  // namespace kestrel
