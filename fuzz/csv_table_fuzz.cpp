// A CSV text (-csv), read as the run reads it before anything else.
//
// Whatever the text, the reading ends; a refusal names a row; a table taken has rows as
// wide as its header, numbered upwards after it, with cells of valid UTF-8 and no NUL;
// and the table written back out, every cell quoted, reads as the same table.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "util/csv_table.h"

using kestrel::fuzz::require;

namespace {

std::string quoted(const std::string& cell) {
    std::string text = "\"";
    for (const char c : cell) {
        text += c;
        if (c == '"') {
            text += '"';
        }
    }
    return text + "\"";
}

std::string written(const kestrel::CsvTable& table) {
    std::string text;
    const auto row = [&](const std::vector<std::string>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i != 0) {
                text += table.delimiter;
            }
            text += quoted(cells[i]);
        }
        text += "\r\n";
    };
    row(table.header);
    for (const kestrel::CsvRow& read : table.rows) {
        row(read.cells);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kestrel::CsvProblem problem;
    const std::optional<kestrel::CsvTable> table = kestrel::readCsvTable(text, problem);
    if (!table) {
        require(problem.row >= 1 && !problem.reason.empty(), "a refusal names a row and why");
        return 0;
    }
    require(table->delimiter == ',' || table->delimiter == ';' ||
                (table->delimiter == '\0' && table->header.size() == 1),
            "the delimiter is , or ; or the header has one cell");
    std::size_t last = 1;
    for (const kestrel::CsvRow& row : table->rows) {
        require(row.number > last, "rows are numbered upwards after the header");
        require(row.cells.size() == table->header.size(), "a row is as wide as the header");
        bool given = false;
        for (const std::string& cell : row.cells) {
            require(cell.find('\0') == std::string::npos, "no cell holds a NUL");
            given = given || !cell.empty();
        }
        require(given, "a row of empty cells is left out");
        last = row.number;
    }
    kestrel::CsvProblem again;
    const std::optional<kestrel::CsvTable> reread = kestrel::readCsvTable(written(*table), again);
    require(reread.has_value(), "a table written back out is read");
    require(reread->header == table->header, "the header reads the same");
    require(reread->rows.size() == table->rows.size(), "as many rows read back");
    for (std::size_t i = 0; i < table->rows.size(); ++i) {
        require(reread->rows[i].cells == table->rows[i].cells, "each row reads the same");
    }
    return 0;
}
