#include "util/csv_table.h"

#include <algorithm>
#include <utility>

#include "util/utf8_characters.h"

namespace kestrel {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Why `cell` cannot be taken as text, or nothing.
const char* cellTextProblem(std::string_view cell) {
    for (std::size_t at = 0; at < cell.size();) {
        const unsigned char byte = static_cast<unsigned char>(cell[at]);
        if (byte == 0) {
            // Names and values travel as C strings: the rest would be cut off silently.
            return "holds a NUL byte";
        }
        if (byte < 0x80) {
            ++at;
            continue;
        }
        const std::string_view character = characterAt(cell, at);
        if (character.size() == 1) {
            return "is not valid UTF-8";
        }
        at += character.size();
    }
    return nullptr;
}

// The delimiter of the header row (the first row, up to its line break outside quotes).
bool findDelimiter(std::string_view text, char& delimiter, CsvProblem& problem) {
    bool quoted = false;
    bool comma = false;
    bool semicolon = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;  // a doubled quote toggles twice
        } else if (!quoted && c == '\n') {
            break;
        } else if (!quoted) {
            comma = comma || c == ',';
            semicolon = semicolon || c == ';';
        }
    }
    if (comma && semicolon) {
        problem = {1, 0,
                   "the header row holds both \",\" and \";\" outside quotes, so which one "
                   "separates the cells is unclear"};
        return false;
    }
    delimiter = comma ? ',' : semicolon ? ';' : '\0';
    return true;
}

}  // namespace

// Reads one row after another from the text.
class RowScanner {
  public:
    RowScanner(std::string_view text, char delimiter)
        : text_(text), delimiter_(delimiter), split_(delimiter != '\0') {}

    bool atEnd() const { return at_ >= text_.size(); }

    // The cells of the next row; false with the problem set.
    bool row(std::size_t number, std::vector<std::string>& cells, CsvProblem& problem) {
        problem_ = &problem;
        cells.clear();
        while (true) {
            std::string& cell = cells.emplace_back();
            const bool ok = at_ < text_.size() && text_[at_] == '"'
                                ? quotedCell(cell, number, cells.size())
                                : plainCell(cell);
            if (!ok) {
                return false;
            }
            if (const char* why = cellTextProblem(cell)) {
                *problem_ = {number, cells.size(), std::string("the cell ") + why};
                return false;
            }
            if (!endsCell()) {
                return true;
            }
        }
    }

  private:
    // Past the delimiter after a cell: true when another cell of the row follows.
    bool endsCell() {
        if (at_ < text_.size() && split_ && text_[at_] == delimiter_) {
            ++at_;
            return true;
        }
        if (at_ < text_.size() && text_[at_] == '\r') {
            ++at_;
        }
        ++at_;  // the line feed, or past the end
        return false;
    }

    bool plainCell(std::string& cell) {
        const std::size_t start = at_;
        while (at_ < text_.size() && text_[at_] != '\n' && !(split_ && text_[at_] == delimiter_)) {
            ++at_;
        }
        std::size_t stop = at_;
        if (stop > start && text_[stop - 1] == '\r' &&
            (at_ == text_.size() || text_[at_] == '\n')) {
            --stop;  // CRLF, or a final CR: the line's end, no part of the cell
            --at_;
        }
        cell.assign(text_.substr(start, stop - start));
        return true;
    }

    bool quotedCell(std::string& cell, std::size_t number, std::size_t column) {
        ++at_;
        while (true) {
            const std::size_t quote = text_.find('"', at_);
            if (quote == std::string_view::npos) {
                *problem_ = {number, column, "a quoted cell is not closed"};
                return false;
            }
            cell.append(text_.substr(at_, quote - at_));
            at_ = quote + 1;
            if (at_ < text_.size() && text_[at_] == '"') {
                cell += '"';
                ++at_;
                continue;
            }
            break;
        }
        const bool ends =
            at_ == text_.size() || text_[at_] == '\n' || (split_ && text_[at_] == delimiter_) ||
            (text_[at_] == '\r' && (at_ + 1 == text_.size() || text_[at_ + 1] == '\n'));
        if (!ends) {
            *problem_ = {number, column, "text follows the closing quote of a cell"};
            return false;
        }
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    char delimiter_;
    bool split_;
    CsvProblem* problem_ = nullptr;
};

namespace {

bool onlyEmptyCells(const std::vector<std::string>& cells) {
    return std::all_of(cells.begin(), cells.end(),
                       [](const std::string& cell) { return cell.empty(); });
}

}  // namespace

CsvReader::CsvReader() = default;
CsvReader::~CsvReader() = default;

bool CsvReader::open(std::string_view text, CsvProblem& problem) {
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    if (text.empty()) {
        problem = {1, 0, "there is no header row"};
        return false;
    }
    if (!findDelimiter(text, delimiter_, problem)) {
        return false;
    }
    scanner_ = std::make_unique<RowScanner>(text, delimiter_);
    return scanner_->row(1, header_, problem);
}

bool CsvReader::next(CsvRow& row, CsvProblem& problem) {
    while (!scanner_->atEnd()) {
        const std::size_t number = ++number_;
        if (!scanner_->row(number, row.cells, problem)) {
            return false;
        }
        if (row.cells.size() > header_.size()) {
            problem = {number, header_.size() + 1,
                       "the row has " + std::to_string(row.cells.size()) + " cells, the header " +
                           std::to_string(header_.size())};
            return false;
        }
        if (!onlyEmptyCells(row.cells)) {
            row.number = number;
            row.cells.resize(header_.size());
            return true;
        }
    }
    return false;
}

std::optional<CsvTable> readCsvTable(std::string_view text, CsvProblem& problem) {
    CsvReader reader;
    if (!reader.open(text, problem)) {
        return std::nullopt;
    }
    CsvTable table{reader.delimiter(), reader.header(), {}};
    CsvRow row;
    while (reader.next(row, problem)) {
        table.rows.push_back(std::move(row));
        row = {};
    }
    if (!problem.reason.empty()) {
        return std::nullopt;
    }
    return table;
}

}  // namespace kestrel
