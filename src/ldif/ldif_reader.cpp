// The LDIF reader. libldap's ldif_read_record cuts the text into records, and its
// ldif_getline and ldif_parse_line2 read a record's lines (ldif/ldif_lines); what the lines
// say is read once through each record (ldif/ldif_change_record). libldap's own record
// parser is not used: it writes its complaints straight to the standard error stream, trips
// on a line without a name, and pairs up the attributes of an add in quadratic time.
#include "ldif/ldif_reader.h"

#include <ldap.h>
#include <ldif.h>
#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "ldif/ldif_change_record.h"
#include "ldif/ldif_lines.h"
#include "ldif/library_messages.h"
#include "util/secret_memory.h"

namespace kestrel {
namespace {

// The physical line at `pos` (without its line end) and where the next one starts. A
// carriage return before the newline is not part of the line, as ldif_read_record squashes
// "\r\n" to "\n".
std::string_view physicalLine(std::string_view text, std::size_t pos, std::size_t& next) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
        next = text.size();
        return text.substr(pos);
    }
    next = end + 1;
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

// What ldif_read_record would act on by itself, before any record reaches the parser: at a
// record's first line (after blank lines and the comments above it) "include:" opens
// another file, and a line starting with a digit is dropped as an index. Neither belongs in
// a change file.
std::optional<LdifProblem> checkRecordStarts(std::string_view text) {
    bool inRecord = false;
    bool inComment = false;
    unsigned long line = 0;
    for (std::size_t pos = 0, next = 0; pos < text.size(); pos = next) {
        ++line;
        const std::string_view content = physicalLine(text, pos, next);
        if (content.empty()) {
            inRecord = false;
            inComment = false;
            continue;
        }
        if (inRecord) {
            continue;
        }
        if (content.front() == '#') {
            inComment = true;
            continue;
        }
        if (inComment && content.front() == ' ') {
            continue;
        }
        inRecord = true;
        if (std::isdigit(static_cast<unsigned char>(content.front())) != 0) {
            return ldifProblem(LdifProblem::Kind::Malformed, line,
                               "a record cannot begin with a number (ldapmodify drops such a "
                               "line as an index)");
        }
        if (content.size() >= 8 && strncasecmp(content.data(), "include:", 8) == 0) {
            return ldifProblem(LdifProblem::Kind::ReadsFile, line,
                               "an include: line would read another file");
        }
    }
    return std::nullopt;
}

// What the whole text is refused for before its records are read.
std::optional<LdifProblem> checkText(std::string_view text) {
    if (const std::size_t zero = text.find('\0'); zero != std::string_view::npos) {
        LineCounter lines(text);
        return ldifProblem(LdifProblem::Kind::Malformed, lines.lineAt(zero),
                           "a zero byte, which LDIF can only carry in a base64 value");
    }
    return checkRecordStarts(text);
}

// ldif_read_record's buffer, which it grows as it needs; zeroed before it is freed.
struct RecordBuffer {
    char* data = nullptr;
    int size = 0;
    RecordBuffer() = default;
    ~RecordBuffer() {
        if (data != nullptr) {
            explicit_bzero(data, static_cast<std::size_t>(size));
            ber_memfree(data);
        }
    }
    RecordBuffer(const RecordBuffer&) = delete;
    RecordBuffer& operator=(const RecordBuffer&) = delete;
};

struct FileClose {
    void operator()(LDIFFP* file) const { ldif_close(file); }
};

// The line of the text where ldif_read_record's buffer for the record read from `pos` on
// starts: blank lines and comment paragraphs are dropped, the comments right above the
// record are kept.
unsigned long firstBufferLine(std::string_view text, std::size_t pos, LineCounter& lines) {
    std::size_t paragraph = std::string_view::npos;
    bool inComment = false;
    for (std::size_t next = pos; pos < text.size(); pos = next) {
        const std::string_view content = physicalLine(text, pos, next);
        if (content.empty()) {
            paragraph = std::string_view::npos;
            inComment = false;
            continue;
        }
        if (paragraph == std::string_view::npos) {
            paragraph = pos;
        }
        if (content.front() == '#') {
            inComment = true;
        } else if (!inComment || content.front() != ' ') {
            break;
        }
    }
    return lines.lineAt(paragraph == std::string_view::npos ? pos : paragraph);
}

// Every record of `text`, opened as `file`, one ldif_read_record at a time.
std::optional<LdifProblem> readRecords(LDIFFP& file, std::string_view text, bool entriesAreAdds,
                                       LibraryMessages& messages,
                                       std::vector<LdifRecord>& records) {
    LineCounter lines(text);
    unsigned long lineNumber = 0;
    RecordBuffer buffer;
    std::vector<LdifLine> recordLines;
    while (true) {
        const long start = std::ftell(file.fp);
        const int read = ldif_read_record(&file, &lineNumber, &buffer.data, &buffer.size);
        if (read == 0) {
            return std::nullopt;
        }
        if (read < 0 || start < 0) {
            return ldifProblem(LdifProblem::Kind::Malformed, lineNumber,
                               "the text cannot be read" + messages.take());
        }
        // The lines are read in place in the buffer; this copy keeps the line ends.
        const WipedText original{std::string_view(buffer.data)};
        const unsigned long bufferLine =
            firstBufferLine(text, static_cast<std::size_t>(start), lines);
        recordLines.clear();
        if (std::optional<LdifProblem> problem =
                splitLines(buffer.data, original.text, bufferLine, messages, recordLines)) {
            return problem;
        }
        if (recordLines.empty()) {
            continue;
        }
        LdifRecord record;
        bool skip = false;
        if (std::optional<LdifProblem> problem =
                interpretRecord(recordLines, entriesAreAdds, messages, record, skip)) {
            return problem;
        }
        if (!skip) {
            records.push_back(std::move(record));
        }
    }
}

}  // namespace

LdifReadResult readLdifRecords(std::string_view text, bool entriesAreAdds) {
    LdifReadResult result;
    std::optional<LdifProblem> problem = checkText(text);
    if (!problem && !text.empty()) {
        LibraryMessages messages;
        WipedText whole(text);
        const std::unique_ptr<LDIFFP, FileClose> file(
            ldif_open_mem(whole.text.data(), whole.text.size(), "r"));
        problem = file ? readRecords(*file, text, entriesAreAdds, messages, result.records)
                       : ldifProblem(LdifProblem::Kind::Malformed, 0, std::strerror(errno));
    }
    if (problem) {
        result.records.clear();
        result.ok = false;
        result.problem = std::move(*problem);
    }
    return result;
}

}  // namespace kestrel
