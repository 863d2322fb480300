// A record's logical lines, read with libldap's own line reader (folded lines joined,
// comments skipped, base64 decoded), and how the reader names and numbers them.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ldif/ldif_reader.h"
#include "ldif/library_messages.h"

namespace kestrel {

// A refusal of the text at `line`; the reason escaped for the terminal.
LdifProblem ldifProblem(LdifProblem::Kind kind, unsigned long line, const std::string& reason);

// Line numbers of byte offsets that only grow, counted once.
class LineCounter {
  public:
    explicit LineCounter(std::string_view text) : text_(text) {}
    unsigned long lineAt(std::size_t offset) {
        offset = std::min(offset, text_.size());
        if (offset < offset_) {
            offset_ = 0;
            line_ = 1;
        }
        line_ +=
            static_cast<unsigned long>(std::count(text_.begin() + static_cast<long>(offset_),
                                                  text_.begin() + static_cast<long>(offset), '\n'));
        offset_ = offset;
        return line_;
    }

  private:
    std::string_view text_;
    std::size_t offset_ = 0;
    unsigned long line_ = 1;
};

// One logical line of a record: a "-" alone, or a name and its value (pointing into the
// record's buffer).
struct LdifLine {
    unsigned long number = 0;
    bool separator = false;
    std::string_view name;
    std::string_view value;
};

// Names compare as LDIF compares them, ASCII case aside.
bool sameName(std::string_view a, std::string_view b);
bool named(const LdifLine& line, std::string_view name);
// The name as a refusal quotes it ("-" for a separator).
std::string nameOf(const LdifLine& line);

// The record's logical lines, read in place from `buffer` (which they point into):
// ldif_getline joins folded lines and skips comments, ldif_parse_line2 splits off the name
// and decodes base64. `original` is the same text unchanged, for the line numbers;
// `bufferLine` is the line of the text where it starts. A line whose value would be read
// from a URL is refused.
std::optional<LdifProblem> splitLines(char* buffer, std::string_view original,
                                      unsigned long bufferLine, LibraryMessages& messages,
                                      std::vector<LdifLine>& lines);

}  // namespace kestrel
