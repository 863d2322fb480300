// A CSV text (RFC 4180) read into a header and rows of cells: the form spreadsheets export
// a table in. Pure: no application knowledge beyond the text.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

struct CsvRow {
    std::size_t number = 0;  // as a spreadsheet numbers it: the header is row 1
    std::vector<std::string> cells;
};

struct CsvTable {
    char delimiter = '\0';  // '\0': the header has one cell, so every line is one cell
    std::vector<std::string> header;
    std::vector<CsvRow> rows;  // blank lines and rows of only empty cells left out
};

// Why a text is no table: the row and the column (1-based; 0 when the whole row or
// text is meant) and the reason, without a final full stop.
struct CsvProblem {
    std::size_t row = 0;
    std::size_t column = 0;
    std::string reason;
};

class RowScanner;

// Reads `text` row by row: a UTF-8 byte order mark is skipped; CRLF or LF ends a row, also
// inside a quoted cell (where the line break is kept as read); a final row needs no line
// break. The delimiter is the "," or ";" outside quotes in the header row, which must not
// hold both. A row shorter than the header has empty cells for the rest; a longer one, a
// quote left open, text after a closing quote, invalid UTF-8 and a NUL byte are refused.
// `text` must outlive the reader.
class CsvReader {
  public:
    CsvReader();
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // Reads the header row; false with the problem.
    bool open(std::string_view text, CsvProblem& problem);
    char delimiter() const { return delimiter_; }  // '\0': one cell per line
    const std::vector<std::string>& header() const { return header_; }

    // The next row that is not blank nor only empty cells; false at the end, or with the
    // problem when `problem.reason` is set.
    bool next(CsvRow& row, CsvProblem& problem);

  private:
    std::unique_ptr<RowScanner> scanner_;
    char delimiter_ = '\0';
    std::vector<std::string> header_;
    std::size_t number_ = 1;
};

// The whole table at once, as CsvReader reads it.
std::optional<CsvTable> readCsvTable(std::string_view text, CsvProblem& problem);

}  // namespace kestrel
