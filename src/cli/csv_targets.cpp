#include "cli/csv_targets.h"

#include <algorithm>
#include <utility>

#include "attr/password_attribute.h"
#include "attr/tokenizer.h"
#include "cli/whole_file.h"
#include "ops/modification_list.h"
#include "util/ascii_case.h"
#include "util/csv_table.h"
#include "util/secret_memory.h"
#include "util/terminal_text.h"

namespace kestrel {
namespace {

// One column of the header: the text each of its cells is appended to, so that the
// attribute-action parser reads the cell as it reads the command line.
struct Column {
    std::string name;    // as written, without surrounding blanks
    std::string prefix;  // "description::", "otherTelephone:++:"
    bool used = false;   // some row has a value in it
};

struct Layout {
    std::size_t dn = 0;
    std::vector<Column> columns;  // the dn column's entry stays unused
};

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Where a refusal is: "hires.csv, row 3, column 2 (otherTelephone:++)".
class Place {
  public:
    explicit Place(const RunSettings& settings) : file_(shownName(settings)) {}

    std::string at(std::size_t row, std::size_t column = 0, const std::string& name = "") const {
        std::string text = file_ + ", row " + std::to_string(row);
        if (column != 0) {
            text += ", column " + std::to_string(column);
        }
        if (!name.empty()) {
            text += " (" + terminalText(name) + ")";
        }
        return text;
    }

    const std::string& file() const { return file_; }

  private:
    static std::string shownName(const RunSettings& settings) {
        return settings.csvFile == "-" ? "standard input" : terminalText(settings.csvFile);
    }
    std::string file_;
};

// The lines a parse or check wrote, shown after the line saying where: text from the file
// is in them, escaped here before it reaches a terminal.
void replayEscaped(Reporter& reporter, std::vector<Reporter::Captured> lines) {
    for (Reporter::Captured& line : lines) {
        line.text = terminalServerText(line.text);
    }
    reporter.replay(lines);
}

bool readLayout(Reporter& reporter, const Place& place, const std::vector<std::string>& header,
                const ActionSyntax& syntax, Layout& layout) {
    std::optional<std::size_t> dn;
    for (std::size_t index = 0; index < header.size(); ++index) {
        Column column{trimmed(header[index]), {}, false};
        const std::string where = place.at(1, index + 1, column.name);
        const std::string folded = asciiLower(column.name);
        for (std::size_t before = 0; before < index; ++before) {
            if (asciiLower(layout.columns[before].name) == folded) {
                reporter.notice(nothingSentLine(where + ": the header repeats column " +
                                                std::to_string(before + 1) + "."));
                return false;
            }
        }
        if (folded == "dn") {
            dn = index;
            layout.columns.push_back(std::move(column));
            continue;
        }
        const BoundedSplit split = boundedSplit(column.name, syntax.attrDelimiter);
        if (split.pieces[0].empty() || split.pieceCount > 2) {
            reporter.notice(nothingSentLine(where +
                                            ": a header cell is an attribute-action without "
                                            "its value (description, otherTelephone:++)."));
            return false;
        }
        column.prefix = column.name + syntax.attrDelimiter +
                        (split.pieceCount == 1 ? syntax.attrDelimiter : std::string());
        layout.columns.push_back(std::move(column));
    }
    if (!dn) {
        reporter.notice(nothingSentLine(place.at(1) +
                                        ": no column is named dn, which gives each row's object."));
        return false;
    }
    layout.dn = *dn;
    return true;
}

// The parser's debug lines would repeat each cell raw; the run's own debug lines stay.
class DebugPaused {
  public:
    explicit DebugPaused(Reporter& reporter) : reporter_(reporter), debug_(reporter.debug) {
        reporter_.debug = false;
    }
    ~DebugPaused() { reporter_.debug = debug_; }
    DebugPaused(const DebugPaused&) = delete;
    DebugPaused& operator=(const DebugPaused&) = delete;

  private:
    Reporter& reporter_;
    bool debug_;
};

// Reads `action` into `set` as the command line would; false after the ERROR lines.
bool parseCell(Reporter& reporter, const std::string& where, const std::string& action,
               const ActionSyntax& syntax, ModificationSet& set) {
    reporter.beginCapture();
    const ActionParseOutcome outcome = parseAttributeActions(reporter, {action}, syntax, set);
    std::vector<Reporter::Captured> lines = reporter.endCapture();
    const bool ok = outcome.wellFormed && !outcome.binaryFailed;
    if (!ok) {
        reporter.notice(nothingSentLine(where + ": the cell makes no valid attribute-action."));
    }
    replayEscaped(reporter, std::move(lines));
    return ok;
}

bool changesSomething(const ModificationSet& set, bool addMode) {
    const bool password =
        addMode ? set.addValues.contains("#setpwd#") : set.replaceValues.contains("#setpwd#");
    return countModifications(set, addMode) != 0 || password;
}

class RowReader {
  public:
    RowReader(Reporter& reporter, const Place& place, const ActionSyntax& syntax,
              const ModificationSet& commandLine, Layout& layout)
        : reporter_(reporter),
          place_(place),
          syntax_(syntax),
          commandLine_(commandLine),
          layout_(layout) {}

    // False after the ERROR lines; a row that changes nothing is skipped with a warning.
    bool read(CsvRow& row, CsvRows& rows) {
        std::string& dn = row.cells[layout_.dn];
        if (dn.empty()) {
            // The empty DN names the RootDSE: in a sheet it is a forgotten cell.
            reporter_.notice(nothingSentLine(where(row, layout_.dn) + ": the DN is empty."));
            return false;
        }
        ModificationSet set = commandLine_;
        std::vector<std::string> actions;
        columns_.clear();
        bool cellGiven = false;
        for (std::size_t index = 0; index < row.cells.size(); ++index) {
            if (index == layout_.dn || row.cells[index].empty()) {
                continue;
            }
            Column& column = layout_.columns[index];
            column.used = true;
            cellGiven = true;
            actions.push_back(column.prefix + row.cells[index]);
            columns_.push_back(index);
        }
        if (!parseRow(row, actions, set)) {
            std::for_each(actions.begin(), actions.end(), wipeText);
            return false;
        }
        if (set.bitChanges.size() != commandLine_.bitChanges.size()) {
            // Each target's bits are read before its write, the same reads for every row.
            std::for_each(actions.begin(), actions.end(), wipeText);
            reporter_.notice(nothingSentLine(place_.at(row.number) +
                                             ": setbits and clearbits go on the command line, "
                                             "for every row, not in a column."));
            return false;
        }
        if (!cellGiven && !changesSomething(set, syntax_.addMode)) {
            // Nothing in `actions` to wipe.
            reporter_.warning(place_.at(row.number) +
                              ": nothing to change besides the DN; the row is skipped.\n");
            return true;
        }
        reporter_.beginCapture();
        const bool checked = checkModificationSet(reporter_, set, syntax_.addMode);
        std::vector<Reporter::Captured> lines = reporter_.endCapture();
        if (!checked) {
            std::for_each(actions.begin(), actions.end(), wipeText);
            reporter_.notice("ERROR: " + place_.at(row.number) + ":\n");
            replayEscaped(reporter_, std::move(lines));
            return false;
        }
        rows.targets.push_back(std::move(dn));
        rows.actions.push_back(std::move(actions));
        return true;
    }

  private:
    // The row's actions in one go; only a row that fails is read again cell by cell, to
    // name the one at fault.
    bool parseRow(const CsvRow& row, const std::vector<std::string>& actions,
                  ModificationSet& set) {
        reporter_.beginCapture();
        const ActionParseOutcome outcome = parseAttributeActions(reporter_, actions, syntax_, set);
        std::vector<Reporter::Captured> lines = reporter_.endCapture();
        if (outcome.wellFormed && !outcome.binaryFailed) {
            replayEscaped(reporter_, std::move(lines));
            return true;
        }
        ModificationSet again = commandLine_;
        for (std::size_t k = 0; k < actions.size(); ++k) {
            if (!parseCell(reporter_, where(row, columns_[k]), actions[k], syntax_, again)) {
                break;
            }
        }
        return false;
    }

    std::string where(const CsvRow& row, std::size_t index) const {
        return place_.at(row.number, index + 1, layout_.columns[index].name);
    }

    Reporter& reporter_;
    const Place& place_;
    const ActionSyntax& syntax_;
    const ModificationSet& commandLine_;
    Layout& layout_;
    std::vector<std::size_t> columns_;  // the column of each of the row's actions
};

// A column no row gives a value to changes nothing, but a misspelt operation in it is
// still a mistake to point out. It is read with sample values, one that each form of value
// takes (a number; a date's "never"): an empty one would make "title" a clear.
bool checkUnusedColumns(Reporter& reporter, const Place& place, const ActionSyntax& syntax,
                        const Layout& layout) {
    for (std::size_t index = 0; index < layout.columns.size(); ++index) {
        const Column& column = layout.columns[index];
        if (index == layout.dn || column.used) {
            continue;
        }
        std::vector<Reporter::Captured> lines;
        bool wellFormed = false;
        for (const char* sample : {"0", "never"}) {
            ModificationSet scratch;
            reporter.beginCapture();
            wellFormed = parseAttributeActions(reporter, {column.prefix + sample}, syntax, scratch)
                             .wellFormed;
            lines = reporter.endCapture();
            if (wellFormed) {
                break;
            }
        }
        if (!wellFormed) {
            reporter.notice(nothingSentLine(place.at(1, index + 1, column.name) +
                                            ": the header cell is no attribute-action."));
            replayEscaped(reporter, std::move(lines));
            return false;
        }
    }
    return true;
}

bool readText(Reporter& reporter, const RunSettings& settings, const Place& place,
              std::istream& input, std::string& text) {
    std::string why = "the read failed";
    bool read = true;
    if (settings.csvFile == "-") {
        // In large blocks: a character at a time would cost more than reading the table.
        std::vector<char> block(std::size_t{1} << 16);
        while (input.read(block.data(), static_cast<std::streamsize>(block.size())) ||
               input.gcount() > 0) {
            text.append(block.data(), static_cast<std::size_t>(input.gcount()));
        }
        read = !input.bad();
    } else {
        read = readWholeFile(settings.csvFile, text, why);
    }
    if (!read) {
        reporter.notice(
            nothingSentLine("Cannot read the CSV file " + place.file() + ": " + why + "."));
    }
    return read;
}

void writeProblem(Reporter& reporter, const Place& place, const CsvProblem& problem) {
    reporter.notice(
        nothingSentLine(place.at(problem.row, problem.column) + ": " + problem.reason + "."));
}

// Row by row, so that only the targets and their actions stay: no copy of the table. Each
// row's cells are wiped once read, since they may hold passwords.
bool readRows(Reporter& reporter, const Place& place, const ActionSyntax& syntax,
              const ModificationSet& commandLine, std::string_view text, CsvRows& rows) {
    CsvReader reader;
    CsvProblem problem;
    Layout layout;
    if (!reader.open(text, problem)) {
        writeProblem(reporter, place, problem);
        return false;
    }
    if (!readLayout(reporter, place, reader.header(), syntax, layout)) {
        return false;
    }
    // At most a row per line: the lists are never moved while they grow.
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    rows.targets.reserve(lines + 1);
    rows.actions.reserve(lines + 1);
    const DebugPaused paused(reporter);
    RowReader rowReader(reporter, place, syntax, commandLine, layout);
    CsvRow row;
    bool ok = true;
    while (ok && reader.next(row, problem)) {
        ok = rowReader.read(row, rows);
        std::for_each(row.cells.begin(), row.cells.end(), wipeText);
    }
    std::for_each(row.cells.begin(), row.cells.end(), wipeText);
    if (ok && !problem.reason.empty()) {
        writeProblem(reporter, place, problem);
        return false;
    }
    rows.writesPasswords =
        std::any_of(layout.columns.begin(), layout.columns.end(),
                    [](const Column& column) { return mentionsPasswordAttribute(column.name); });
    return ok && checkUnusedColumns(reporter, place, syntax, layout);
}

}  // namespace

CsvRows::~CsvRows() {
    for (std::vector<std::string>& row : actions) {
        std::for_each(row.begin(), row.end(), wipeText);
    }
}

Verdict csvRefusal(const SwitchTable& switches, const RunSettings& settings) {
    if (settings.csvFile.empty()) {
        return Refusal::nothingSent("-csv needs the name of a CSV file (- for standard input).");
    }
    for (const char* name :
         {"rootdse", "b", "f", "revert", "rm", "del", "treedelete", "rename", "move", "undel"}) {
        if (switches.has(name)) {
            return Refusal::nothingSent(
                std::string("-csv names the objects and modifies or adds them; it cannot be "
                            "combined with -") +
                name + ".");
        }
    }
    return std::nullopt;
}

bool loadCsvRows(Reporter& reporter, const RunSettings& settings, const ActionSyntax& syntax,
                 const ModificationSet& commandLine, std::istream& input, CsvRows& rows) {
    reporter.trace("DEBUG: Reading the CSV file\n");
    const Place place(settings);
    std::string text;
    if (!readText(reporter, settings, place, input, text)) {
        wipeText(text);
        return false;
    }
    const bool ok = readRows(reporter, place, syntax, commandLine, text, rows);
    wipeText(text);
    return ok;
}

}  // namespace kestrel
