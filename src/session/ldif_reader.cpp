// The LDIF reader over libldap's ldif_read_record and ldap_parse_ldif_record.
#include "session/ldif_reader.h"

#include <ldap.h>
#include <ldif.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "util/secret_memory.h"
#include "util/terminal_text.h"

namespace kestrel {
namespace {

// A copy of record text that may hold a password, zeroed when it goes.
struct WipedText {
    std::string text;
    explicit WipedText(std::string_view from) : text(from) {}
    ~WipedText() { wipeText(text); }
    WipedText(const WipedText&) = delete;
    WipedText& operator=(const WipedText&) = delete;
};

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

LdifReadResult refused(LdifProblem::Kind kind, unsigned long line, std::string reason) {
    LdifReadResult result;
    result.ok = false;
    result.problem = LdifProblem{kind, line, terminalText(reason)};
    return result;
}

bool sameWord(std::string_view text, const char* word) {
    return text.size() == std::strlen(word) && strncasecmp(text.data(), word, text.size()) == 0;
}

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
std::optional<LdifReadResult> checkRecordStarts(std::string_view text) {
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
            return refused(LdifProblem::Kind::Malformed, line,
                           "a record cannot begin with a number (ldapmodify drops such a "
                           "line as an index)");
        }
        if (content.size() >= 8 && strncasecmp(content.data(), "include:", 8) == 0) {
            return refused(LdifProblem::Kind::ReadsFile, line,
                           "an include: line would read another file");
        }
    }
    return std::nullopt;
}

// Whether a control line's value, as parse_ldif_control reads it ("oid [true|false]
// [: value | :: base64 | :< url]"), takes its value from a URL.
bool controlValueFromUrl(const std::string& value) {
    const char* s = value.c_str();
    const char* const oid = s;
    while (std::isdigit(static_cast<unsigned char>(*s)) != 0 || *s == '.') {
        ++s;
    }
    if (s == oid || (*s != '\0' && std::isspace(static_cast<unsigned char>(*s)) == 0)) {
        return false;  // not a control the parser takes
    }
    while (std::isspace(static_cast<unsigned char>(*s)) != 0) {
        ++s;
    }
    if (strncasecmp(s, "true", 4) == 0) {
        s += 4;
    } else if (strncasecmp(s, "false", 5) == 0) {
        s += 5;
    }
    while (std::isspace(static_cast<unsigned char>(*s)) != 0) {
        ++s;
    }
    return s[0] == ':' && s[1] == '<';
}

// What the logical lines of one record say before the parser sees them.
struct RecordOutline {
    unsigned long firstLine = 0;
    bool hasDn = false;
    bool hasChangeType = false;
    bool onlyVersion = true;  // a "version: 1" record of its own, before the first one
};

// Walks the record's logical lines as the parser will (ldif_getline joins folded lines and
// skips comments; ldif_parse_line2 skips leading blanks, and the name ends at the first
// colon): a value from a URL is refused before the parser would read it.
std::optional<LdifReadResult> outline(const std::string& record, unsigned long bufferLine,
                                      RecordOutline& out) {
    WipedText walk(record);
    LineCounter lines(record);
    char* next = walk.text.data();
    bool first = true;
    int afterDn = 0;  // 1: the dn line was the last; 2: a control line followed it
    while (char* line = ldif_getline(&next)) {
        const unsigned long at =
            bufferLine + lines.lineAt(static_cast<std::size_t>(line - walk.text.data())) - 1;
        if (first) {
            out.firstLine = at;
            first = false;
        }
        const char* start = line;
        while (std::isspace(static_cast<unsigned char>(*start)) != 0) {
            ++start;
        }
        const char* colon = std::strchr(start, ':');
        std::string_view name;
        if (colon != nullptr) {
            name = std::string_view(start, static_cast<std::size_t>(colon - start));
            while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())) != 0) {
                name.remove_suffix(1);
            }
            if (colon[1] == '<') {
                return refused(
                    LdifProblem::Kind::ReadsFile, at,
                    "the value of " + std::string(name) + " would be read from a URL (:<)");
            }
        }
        if (!out.hasDn) {
            if (sameWord(name, "dn")) {
                out.hasDn = true;
                afterDn = 1;
            } else if (!sameWord(name, "version")) {
                out.onlyVersion = false;
            }
        } else if (afterDn != 0) {
            if (afterDn == 1 && sameWord(name, "control")) {
                afterDn = 2;
            } else {
                // A second control line is no entry either: the parser refuses it.
                out.hasChangeType = sameWord(name, "changetype") || sameWord(name, "control");
                afterDn = 0;
            }
        }
        if (sameWord(name, "control")) {
            WipedText copy(start);
            berval type{};
            berval value{};
            int freeValue = 0;
            if (ldif_parse_line2(copy.text.data(), &type, &value, &freeValue) >= 0) {
                const std::string text(value.bv_val != nullptr ? value.bv_val : "",
                                       value.bv_val != nullptr ? value.bv_len : 0);
                if (freeValue != 0) {
                    ber_memfree(value.bv_val);
                }
                if (controlValueFromUrl(text)) {
                    return refused(LdifProblem::Kind::ReadsFile, at,
                                   "the control's value would be read from a URL (:<)");
                }
            }
        }
    }
    return std::nullopt;
}

// libldap's parser writes its complaints straight to the C library's standard error. Every
// line the program writes goes through its Reporter, so while a record is parsed they go
// to memory instead, and the refusal quotes them.
class StderrCapture {
  public:
    StderrCapture() : saved_(stderr) {
        memory_ = open_memstream(&text_, &size_);
        if (memory_ != nullptr) {
            stderr = memory_;
        }
    }
    ~StderrCapture() {
        release();
        std::free(text_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::string take() {
        release();
        return text_ != nullptr ? std::string(text_, size_) : std::string();
    }

  private:
    void release() {
        if (memory_ != nullptr) {
            stderr = saved_;
            std::fclose(memory_);
            memory_ = nullptr;
        }
    }

    FILE* saved_;
    FILE* memory_ = nullptr;
    char* text_ = nullptr;
    std::size_t size_ = 0;
};

// The parser's last complaint, without its "ldif: " prefix.
std::string reasonFrom(const std::string& complaint) {
    std::string_view text = complaint;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    const std::size_t newline = text.rfind('\n');
    if (newline != std::string_view::npos) {
        text.remove_prefix(newline + 1);
    }
    if (text.rfind("ldif:", 0) == 0) {
        text.remove_prefix(5);
    }
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    return text.empty() ? "not a valid LDIF change record" : std::string(text);
}

// One parse of a copy of a record's text (the parser cuts the copy up in place, and the
// record points into it), with the parser's complaint; its allocations are freed however
// the reading ends.
struct ParsedRecord {
    WipedText text;
    LDIFRecord record{};
    int rc = 0;
    std::string complaint;

    ParsedRecord(std::string_view recordText, unsigned long line, unsigned int flags)
        : text(recordText) {
        berval input{text.text.size(), text.text.data()};
        StderrCapture capture;
        rc = ldap_parse_ldif_record(&input, line, &record, "ldif", flags);
        complaint = capture.take();
    }
    ~ParsedRecord() { ldap_ldif_record_done(&record); }
    ParsedRecord(const ParsedRecord&) = delete;
    ParsedRecord& operator=(const ParsedRecord&) = delete;
};

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

std::string bytes(const berval& value) {
    return value.bv_val != nullptr ? std::string(value.bv_val, value.bv_len) : std::string();
}

bool holdsZero(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

// The parsed record as the seam's values, or the reason it cannot be sent as written.
std::optional<std::string> convert(const LDIFRecord& parsed, LdifRecord& record) {
    record.dn = bytes(parsed.lr_dn);
    if (holdsZero(record.dn)) {
        return "the DN holds a zero byte, so it would be sent cut short";
    }
    for (LDAPControl** control = parsed.lr_ctrls; control != nullptr && *control != nullptr;
         ++control) {
        record.controls.push_back(ServerControl{(*control)->ldctl_oid,
                                                bytes((*control)->ldctl_value),
                                                (*control)->ldctl_iscritical != 0});
    }
    switch (parsed.lr_op) {
        case LDAP_REQ_DELETE:
            record.kind = LdifRecord::Kind::Delete;
            return std::nullopt;
        case LDAP_REQ_MODDN:
            record.kind = LdifRecord::Kind::ModDn;
            record.newRdn = bytes(parsed.lrop_newrdn);
            record.deleteOldRdn = parsed.lrop_delold != 0;
            record.newSuperior = bytes(parsed.lrop_newsup);
            if (parsed.lrop_newsup.bv_val != nullptr && record.newSuperior.empty()) {
                return "an empty newsuperior (the root of the tree) cannot be sent";
            }
            if (holdsZero(record.newRdn) || holdsZero(record.newSuperior)) {
                return "the new name holds a zero byte, so it would be sent cut short";
            }
            return std::nullopt;
        case LDAP_REQ_ADD:
        case LDAP_REQ_MODIFY:
            record.kind =
                parsed.lr_op == LDAP_REQ_ADD ? LdifRecord::Kind::Add : LdifRecord::Kind::Modify;
            break;
        default:
            return "the operation cannot be sent";
    }
    for (LDAPMod** mod = parsed.lrop_mods; mod != nullptr && *mod != nullptr; ++mod) {
        Modification modification;
        modification.attribute = (*mod)->mod_type;
        switch ((*mod)->mod_op & ~LDAP_MOD_BVALUES) {
            case LDAP_MOD_ADD:
                modification.operation = ModOperation::Add;
                break;
            case LDAP_MOD_DELETE:
                modification.operation = ModOperation::Delete;
                break;
            case LDAP_MOD_REPLACE:
                modification.operation = ModOperation::Replace;
                break;
            default:
                return "increment: " + modification.attribute + " cannot be sent";
        }
        for (berval** value = (*mod)->mod_bvalues; value != nullptr && *value != nullptr; ++value) {
            modification.values.push_back(bytes(**value));
        }
        modification.binary =
            std::any_of(modification.values.begin(), modification.values.end(), holdsZero);
        record.modifications.push_back(std::move(modification));
    }
    return std::nullopt;
}

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

}  // namespace

LdifReadResult readLdifRecords(std::string_view text, bool entriesAreAdds) {
    LdifReadResult result;
    if (const std::size_t zero = text.find('\0'); zero != std::string_view::npos) {
        LineCounter lines(text);
        return refused(LdifProblem::Kind::Malformed, lines.lineAt(zero),
                       "a zero byte, which LDIF can only carry in a base64 value");
    }
    if (std::optional<LdifReadResult> problem = checkRecordStarts(text)) {
        return *problem;
    }
    if (text.empty()) {
        return result;
    }

    WipedText whole(text);
    const std::unique_ptr<LDIFFP, FileClose> file(
        ldif_open_mem(whole.text.data(), whole.text.size(), "r"));
    if (!file) {
        return refused(LdifProblem::Kind::Malformed, 0, std::strerror(errno));
    }
    LineCounter lines(text);
    unsigned long lineNumber = 0;
    RecordBuffer buffer;
    const unsigned int flags = entriesAreAdds ? LDIF_DEFAULT_ADD : 0;
    while (true) {
        const long start = std::ftell(file->fp);
        const int read = ldif_read_record(file.get(), &lineNumber, &buffer.data, &buffer.size);
        if (read == 0) {
            break;
        }
        if (read < 0 || start < 0) {
            return refused(LdifProblem::Kind::Malformed, lineNumber, "the text cannot be read");
        }
        const WipedText record(buffer.data);
        const unsigned long bufferLine =
            firstBufferLine(text, static_cast<std::size_t>(start), lines);

        RecordOutline seen;
        if (std::optional<LdifReadResult> problem = outline(record.text, bufferLine, seen)) {
            return *problem;
        }
        if (seen.hasDn && !seen.hasChangeType && !entriesAreAdds) {
            return refused(LdifProblem::Kind::NoChangeType, seen.firstLine,
                           "an entry without a changetype");
        }

        // libldap 2.5 loses the controls it has read when a later line of the record is
        // wrong, so the record is checked without them first; read with them, only a
        // control of its own can then be refused.
        if (const ParsedRecord check(record.text, seen.firstLine, flags | LDIF_NO_CONTROLS);
            check.rc != 0) {
            return refused(LdifProblem::Kind::Malformed, seen.firstLine,
                           reasonFrom(check.complaint));
        }
        const ParsedRecord parsed(record.text, seen.firstLine, flags);
        if (parsed.rc != 0) {
            return refused(LdifProblem::Kind::Malformed, seen.firstLine,
                           reasonFrom(parsed.complaint));
        }
        if (parsed.record.lr_dn.bv_val == nullptr) {
            if (seen.onlyVersion) {
                continue;
            }
            return refused(LdifProblem::Kind::Malformed, seen.firstLine, "the record has no dn:");
        }
        LdifRecord converted;
        converted.line = seen.firstLine;
        if (std::optional<std::string> why = convert(parsed.record, converted)) {
            return refused(LdifProblem::Kind::NotSendable, seen.firstLine, *why);
        }
        result.records.push_back(std::move(converted));
    }
    return result;
}

}  // namespace kestrel
