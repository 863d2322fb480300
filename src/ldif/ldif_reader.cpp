// The LDIF reader. libldap's ldif_read_record cuts the text into records, and its
// ldif_getline and ldif_parse_line2 read a record's lines (folding, comments, base64); what
// the lines say is read here, once through each record. libldap's own record parser is not
// used: it writes its complaints straight to the standard error stream, trips on a line
// without a name, and pairs up the attributes of an add in quadratic time.
#include "ldif/ldif_reader.h"

#include <ldap.h>
#include <ldif.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_map>

#include "util/ascii_case.h"
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

// While the text is read, liblber's and libldap's own messages go to this hook instead of
// the process's standard error, and ldif_parse_line2 is asked (through ldif_debug) to say
// why it refuses a line; a refusal quotes what was said. The hook and the level in place
// before are put back after.
class LibraryMessages {
  public:
    LibraryMessages() : previousLevel_(ldif_debug), outer_(active_) {
        ber_get_option(nullptr, LBER_OPT_LOG_PRINT_FN, &previousHook_);
        ber_set_option(nullptr, LBER_OPT_LOG_PRINT_FN, reinterpret_cast<void*>(&collect));
        ldif_debug = kParseMessages;
        active_ = this;
    }
    ~LibraryMessages() {
        active_ = outer_;
        ldif_debug = previousLevel_;
        ber_set_option(nullptr, LBER_OPT_LOG_PRINT_FN, reinterpret_cast<void*>(previousHook_));
    }
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

    // ": " and what was said since the last call, its lines joined by "; "; or nothing.
    std::string take() {
        std::string joined;
        std::size_t start = 0;
        while (start < said_.size()) {
            std::size_t end = said_.find('\n', start);
            if (end == std::string::npos) {
                end = said_.size();
            }
            if (end > start) {
                joined += (joined.empty() ? ": " : "; ") + said_.substr(start, end - start);
            }
            start = end + 1;
        }
        said_.clear();
        return joined;
    }

  private:
    // libldap's LDAP_DEBUG_PARSE: the level of ldif_parse_line2's reasons.
    static constexpr int kParseMessages = 0x0800;

    static void collect(const char* text) {
        if (active_ != nullptr) {
            active_->said_ += text;
        }
    }

    static inline LibraryMessages* active_ = nullptr;
    BER_LOG_PRINT_FN previousHook_ = nullptr;
    int previousLevel_;
    LibraryMessages* outer_;
    std::string said_;
};

// One logical line of a record: a "-" alone, or a name and its value (pointing into the
// record's buffer).
struct LdifLine {
    unsigned long number = 0;
    bool separator = false;
    std::string_view name;
    std::string_view value;
};

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool named(const LdifLine& line, std::string_view name) {
    return !line.separator && sameName(line.name, name);
}

// What a refusal says of a line, as libldap's own messages do.
std::string at(const LdifLine& line, std::string_view dn) {
    return " (line " + std::to_string(line.number) + ", entry \"" + std::string(dn) + "\")";
}

std::string nameOf(const LdifLine& line) {
    return line.separator ? "-" : std::string(line.name);
}

// The record's logical lines, read in place from `buffer`: ldif_getline joins folded lines
// and skips comments, ldif_parse_line2 splits off the name and decodes base64. `original`
// is the same text unchanged, for the line numbers.
std::optional<LdifReadResult> splitLines(char* buffer, std::string_view original,
                                         unsigned long bufferLine, LibraryMessages& messages,
                                         std::vector<LdifLine>& lines) {
    LineCounter counter(original);
    std::string dn;  // for the messages, once known
    char* next = buffer;
    while (char* text = ldif_getline(&next)) {
        LdifLine line;
        line.number = bufferLine + counter.lineAt(static_cast<std::size_t>(text - buffer)) - 1;
        const unsigned long first = lines.empty() ? line.number : lines.front().number;
        if (std::strcmp(text, "-") == 0) {
            line.separator = true;
            lines.push_back(line);
            continue;
        }
        const std::string invalid =
            "invalid format (line " + std::to_string(line.number) + ") entry: \"" + dn + "\"";
        // ldif_parse_line2 would say why by quoting the whole line, which may be a password.
        const char* colon = std::strchr(text, ':');
        if (colon == nullptr) {
            return refused(LdifProblem::Kind::Malformed, first,
                           invalid + ": a line without a colon");
        }
        if (colon[1] == '<') {
            std::string_view name(text, static_cast<std::size_t>(colon - text));
            while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front())) != 0) {
                name.remove_prefix(1);
            }
            while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())) != 0) {
                name.remove_suffix(1);
            }
            return refused(LdifProblem::Kind::ReadsFile, line.number,
                           "the value of " + std::string(name) + " would be read from a URL (:<)");
        }
        berval type{};
        berval value{};
        int freeValue = 0;
        if (ldif_parse_line2(text, &type, &value, &freeValue) < 0) {
            return refused(LdifProblem::Kind::Malformed, first, invalid + messages.take());
        }
        line.name = std::string_view(type.bv_val, type.bv_len);
        line.value = value.bv_val != nullptr ? std::string_view(value.bv_val, value.bv_len)
                                             : std::string_view();
        if (dn.empty() && sameName(line.name, "dn")) {
            dn = line.value;
        }
        lines.push_back(line);
    }
    return std::nullopt;
}

bool startsFolded(std::string_view text, std::string_view word) {
    return text.size() >= word.size() && sameName(text.substr(0, word.size()), word);
}

std::size_t skipSpaces(std::string_view text, std::size_t i) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) {
        ++i;
    }
    return i;
}

// A control line's value as libldap's own reader takes it:
// "oid [true|false] [: value | :: base64 | :< url]".
std::optional<LdifReadResult> readControl(const LdifLine& line, unsigned long first,
                                          LibraryMessages& messages, ServerControls& controls) {
    const std::string_view text = line.value.substr(0, line.value.find('\0'));
    const auto error = [&](const std::string& said) {
        return refused(LdifProblem::Kind::Malformed, first,
                       "Error processing control line, line " + std::to_string(line.number) +
                           ": Bad parameter to an ldap routine" + said);
    };
    std::size_t i = 0;
    while (i < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[i])) != 0 || text[i] == '.')) {
        ++i;
    }
    if (i == 0 || (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) == 0)) {
        return error("");
    }
    ServerControl control;
    control.oid = text.substr(0, i);
    i = skipSpaces(text, i);
    if (startsFolded(text.substr(i), "true")) {
        control.critical = true;
        i += 4;
    } else if (startsFolded(text.substr(i), "false")) {
        i += 5;
    }
    i = skipSpaces(text, i);
    if (i < text.size()) {
        if (text[i] != ':') {
            return error("");
        }
        if (i + 1 < text.size() && text[i + 1] == '<') {
            return refused(LdifProblem::Kind::ReadsFile, line.number,
                           "the control's value would be read from a URL (:<)");
        }
        // Read as the value of a line "a: ...", the character before the colon standing in.
        WipedText value(text.substr(i - 1));
        value.text.front() = 'a';
        berval type{};
        berval decoded{};
        int freeValue = 0;
        if (ldif_parse_line2(value.text.data(), &type, &decoded, &freeValue) < 0) {
            return error(messages.take());
        }
        control.value = bytes(decoded);
    }
    controls.push_back(std::move(control));
    return std::nullopt;
}

// The record's lines after its dn, taken in order, and how a refusal names one of them.
class RecordBody {
  public:
    RecordBody(const std::vector<LdifLine>& lines, std::size_t next, unsigned long first,
               LdifRecord& record)
        : lines_(lines), next_(next), first_(first), record_(record) {}

    // Every line an attribute and its value; the values of one attribute, wherever they
    // are, go in one modification where it is first named.
    std::optional<LdifReadResult> readAdd() {
        std::unordered_map<std::string, std::size_t> byName;
        for (; next_ < lines_.size(); ++next_) {
            const LdifLine& line = lines_[next_];
            if (line.separator) {
                return malformed("missing attributeDescription", line);
            }
            if (line.name.empty()) {
                return malformed("an attribute without a name", line);
            }
            if (sameName(line.name, "dn")) {
                return malformed("a second dn: line (is a blank line missing before it?)", line);
            }
            std::string key = asciiLower(line.name);
            const auto [found, isNew] = byName.try_emplace(key, record_.modifications.size());
            if (isNew) {
                record_.modifications.push_back(
                    Modification{ModOperation::Add, std::string(line.name), {}, false});
            }
            record_.modifications[found->second].values.emplace_back(line.value);
        }
        return std::nullopt;
    }

    // "add:", "delete:", "replace:" (or "increment:", which cannot be sent) and an attribute,
    // then its values, up to a "-" line. Sets `unsendable` for what is valid but unsendable.
    std::optional<LdifReadResult> readModify(std::optional<std::string>& unsendable) {
        while (next_ < lines_.size()) {
            const LdifLine& op = lines_[next_++];
            std::optional<ModOperation> operation;
            if (named(op, "add")) {
                operation = ModOperation::Add;
            } else if (named(op, "delete")) {
                operation = ModOperation::Delete;
            } else if (named(op, "replace")) {
                operation = ModOperation::Replace;
            } else if (!named(op, "increment")) {
                return refused(LdifProblem::Kind::Malformed, first_,
                               "modify operation type is missing at line " +
                                   std::to_string(op.number) + ", entry \"" + record_.dn + "\"");
            }
            if (std::optional<LdifReadResult> problem = checkTrailingSpace(op)) {
                return problem;
            }
            if (op.value.empty()) {
                return malformed("\"" + std::string(op.name) + ":\" names no attribute", op);
            }
            Modification modification{
                operation.value_or(ModOperation::Add), std::string(op.value), {}, false};
            for (; next_ < lines_.size() && !lines_[next_].separator; ++next_) {
                const LdifLine& line = lines_[next_];
                if (!sameName(line.name, op.value)) {
                    return refused(LdifProblem::Kind::Malformed, first_,
                                   "wrong attributeType at line " + std::to_string(line.number) +
                                       ", entry \"" + record_.dn + "\"");
                }
                if (modification.values.empty()) {
                    modification.attribute = line.name;
                }
                modification.values.emplace_back(line.value);
            }
            ++next_;  // the "-" line, if any
            if (!operation) {
                unsendable =
                    unsendable.value_or("increment: " + modification.attribute + " cannot be sent");
            } else if (*operation == ModOperation::Add && modification.values.empty()) {
                return malformed("\"add: " + modification.attribute + "\" without a value", op);
            } else {
                record_.modifications.push_back(std::move(modification));
            }
        }
        return std::nullopt;
    }

    // A name that must come next, as in a moddn record.
    std::optional<LdifReadResult> expect(std::string_view name) {
        if (next_ >= lines_.size()) {
            const LdifLine& last = lines_.back();
            return refused(LdifProblem::Kind::Malformed, first_,
                           "Expecting more input after " + nameOf(last) + " line, line " +
                               std::to_string(last.number));
        }
        if (!named(lines_[next_], name)) {
            return malformed("expecting \"" + std::string(name) + ":\" but saw \"" +
                                 nameOf(lines_[next_]) + ":\"",
                             lines_[next_]);
        }
        return std::nullopt;
    }

    std::optional<LdifReadResult> checkEnd() const {
        if (next_ < lines_.size()) {
            return malformed("extra lines at end", lines_[next_]);
        }
        return std::nullopt;
    }

    std::optional<LdifReadResult> checkTrailingSpace(const LdifLine& line) const {
        if (!line.value.empty() &&
            std::isspace(static_cast<unsigned char>(line.value.back())) != 0) {
            return malformed("illegal trailing space after \"" + std::string(line.name) + ": " +
                                 std::string(line.value) + "\"",
                             line);
        }
        return std::nullopt;
    }

    std::optional<LdifReadResult> malformed(const std::string& what, const LdifLine& line) const {
        return refused(LdifProblem::Kind::Malformed, first_, what + at(line, record_.dn));
    }

    const LdifLine& take() { return lines_[next_++]; }
    bool atEnd() const { return next_ >= lines_.size(); }
    bool nextIs(std::string_view name) const { return !atEnd() && named(lines_[next_], name); }

  private:
    const std::vector<LdifLine>& lines_;
    std::size_t next_;
    unsigned long first_;
    LdifRecord& record_;
};

// newrdn, deleteoldrdn (0 or 1, nothing else) and an optional newsuperior.
std::optional<LdifReadResult> readModDn(RecordBody& body, LdifRecord& record,
                                        bool& hasNewSuperior) {
    if (std::optional<LdifReadResult> problem = body.expect("newrdn")) {
        return problem;
    }
    const LdifLine& newRdn = body.take();
    if (newRdn.value.empty()) {
        return body.malformed("an empty newrdn", newRdn);
    }
    record.newRdn = newRdn.value;
    if (std::optional<LdifReadResult> problem = body.expect("deleteoldrdn")) {
        return problem;
    }
    const LdifLine& deleteOld = body.take();
    if (deleteOld.value != "0" && deleteOld.value != "1") {
        return body.malformed(
            "deleteoldrdn takes 0 or 1, not \"" + std::string(deleteOld.value) + "\"", deleteOld);
    }
    record.deleteOldRdn = deleteOld.value == "1";
    if (!body.atEnd()) {
        if (std::optional<LdifReadResult> problem = body.expect("newsuperior")) {
            return problem;
        }
        record.newSuperior = body.take().value;
        hasNewSuperior = true;
    }
    return body.checkEnd();
}

// What the record's lines say, once through: the lines before the dn (a version line
// only), the dn, one control, the changetype and the body of its kind. `skip` is set for a
// record that holds only a version line.
std::optional<LdifReadResult> interpret(const std::vector<LdifLine>& lines, bool entriesAreAdds,
                                        LibraryMessages& messages, LdifRecord& record, bool& skip) {
    const unsigned long first = lines.front().number;
    const auto dnLine = std::find_if(lines.begin(), lines.end(),
                                     [](const LdifLine& line) { return named(line, "dn"); });
    for (auto line = lines.begin(); line != dnLine; ++line) {
        if (!named(*line, "version")) {
            return refused(LdifProblem::Kind::Malformed, first,
                           dnLine == lines.end()
                               ? "the record has no dn:"
                               : "expecting \"dn:\" but saw \"" + nameOf(*line) + ":\" (line " +
                                     std::to_string(line->number) + ")");
        }
        if (line->value != "1") {
            return refused(LdifProblem::Kind::Malformed, first,
                           "invalid version " + std::string(line->value) + ", line " +
                               std::to_string(line->number));
        }
    }
    if (dnLine == lines.end()) {
        skip = true;
        return std::nullopt;
    }
    record.line = first;
    record.dn = dnLine->value;
    RecordBody body(lines, static_cast<std::size_t>(dnLine - lines.begin()) + 1, first, record);
    const bool hasControl = body.nextIs("control");
    unsigned long controlLine = 0;
    if (hasControl) {
        const LdifLine& control = body.take();
        controlLine = control.number;
        if (std::optional<LdifReadResult> problem =
                readControl(control, first, messages, record.controls)) {
            return problem;
        }
        if (body.nextIs("control")) {
            return body.malformed("only one control: line is taken", body.take());
        }
    }
    const bool hasChangeType = body.nextIs("changetype");
    if (!hasChangeType && !entriesAreAdds) {
        return refused(LdifProblem::Kind::NoChangeType, first, "an entry without a changetype");
    }
    if (hasControl && body.atEnd()) {
        return refused(
            LdifProblem::Kind::Malformed, first,
            "Expecting more input after control line, line " + std::to_string(controlLine));
    }

    std::optional<std::string> unsendable;
    if (holdsZero(record.dn)) {
        unsendable = "the DN holds a zero byte, so it would be sent cut short";
    }
    std::string_view changeType = "add";
    if (hasChangeType) {
        const LdifLine& line = body.take();
        if (std::optional<LdifReadResult> problem = body.checkTrailingSpace(line)) {
            return problem;
        }
        changeType = line.value;
        if (!sameName(changeType, "add") && !sameName(changeType, "modify") &&
            !sameName(changeType, "delete") && !sameName(changeType, "moddn") &&
            !sameName(changeType, "modrdn") && !sameName(changeType, "rename")) {
            return body.malformed("unknown changetype \"" + std::string(changeType) + "\"", line);
        }
    }
    std::optional<LdifReadResult> problem;
    bool hasNewSuperior = false;
    if (sameName(changeType, "add")) {
        record.kind = LdifRecord::Kind::Add;
        problem = body.readAdd();
    } else if (sameName(changeType, "modify")) {
        record.kind = LdifRecord::Kind::Modify;
        problem = body.readModify(unsendable);
    } else if (sameName(changeType, "delete")) {
        record.kind = LdifRecord::Kind::Delete;
        problem = body.checkEnd();
    } else {
        record.kind = LdifRecord::Kind::ModDn;
        problem = readModDn(body, record, hasNewSuperior);
    }
    if (problem) {
        return problem;
    }
    if (hasNewSuperior && record.newSuperior.empty()) {
        unsendable =
            unsendable.value_or("an empty newsuperior (the root of the tree) cannot be sent");
    }
    if (holdsZero(record.newRdn) || holdsZero(record.newSuperior)) {
        unsendable =
            unsendable.value_or("the new name holds a zero byte, so it would be sent cut short");
    }
    if (unsendable) {
        return refused(LdifProblem::Kind::NotSendable, first, *unsendable);
    }
    for (Modification& modification : record.modifications) {
        modification.binary =
            std::any_of(modification.values.begin(), modification.values.end(), holdsZero);
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

    LibraryMessages messages;
    WipedText whole(text);
    const std::unique_ptr<LDIFFP, FileClose> file(
        ldif_open_mem(whole.text.data(), whole.text.size(), "r"));
    if (!file) {
        return refused(LdifProblem::Kind::Malformed, 0, std::strerror(errno));
    }
    LineCounter lines(text);
    unsigned long lineNumber = 0;
    RecordBuffer buffer;
    std::vector<LdifLine> recordLines;
    while (true) {
        const long start = std::ftell(file->fp);
        const int read = ldif_read_record(file.get(), &lineNumber, &buffer.data, &buffer.size);
        if (read == 0) {
            break;
        }
        if (read < 0 || start < 0) {
            return refused(LdifProblem::Kind::Malformed, lineNumber,
                           "the text cannot be read" + messages.take());
        }
        // The lines are read in place in the buffer; this copy keeps the line ends.
        const WipedText original(buffer.data);
        const unsigned long bufferLine =
            firstBufferLine(text, static_cast<std::size_t>(start), lines);
        recordLines.clear();
        if (std::optional<LdifReadResult> problem =
                splitLines(buffer.data, original.text, bufferLine, messages, recordLines)) {
            return *problem;
        }
        if (recordLines.empty()) {
            continue;
        }
        LdifRecord record;
        bool skip = false;
        if (std::optional<LdifReadResult> problem =
                interpret(recordLines, entriesAreAdds, messages, record, skip)) {
            return *problem;
        }
        if (!skip) {
            result.records.push_back(std::move(record));
        }
    }
    return result;
}

}  // namespace kestrel
