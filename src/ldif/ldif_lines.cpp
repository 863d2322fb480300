#include "ldif/ldif_lines.h"

#include <ldap.h>
#include <ldif.h>
#include <strings.h>

#include <cctype>
#include <cstring>

#include "util/terminal_text.h"

namespace kestrel {
namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.remove_suffix(1);
    }
    return text;
}

// One line that is not a "-": refused here, where ldif_parse_line2 would say why by quoting
// the whole line, which may be a password.
std::optional<LdifProblem> parseLine(char* text, unsigned long first, const std::string& dn,
                                     LibraryMessages& messages, LdifLine& line) {
    const std::string invalid =
        "invalid format (line " + std::to_string(line.number) + ") entry: \"" + dn + "\"";
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr) {
        return ldifProblem(LdifProblem::Kind::Malformed, first,
                           invalid + ": a line without a colon");
    }
    if (colon[1] == '<') {
        const std::string_view name = trimmed({text, static_cast<std::size_t>(colon - text)});
        return ldifProblem(LdifProblem::Kind::ReadsFile, line.number,
                           "the value of " + std::string(name) + " would be read from a URL (:<)");
    }
    berval type{};
    berval value{};
    int freeValue = 0;
    if (ldif_parse_line2(text, &type, &value, &freeValue) < 0) {
        return ldifProblem(LdifProblem::Kind::Malformed, first, invalid + messages.take());
    }
    line.name = std::string_view(type.bv_val, type.bv_len);
    line.value =
        value.bv_val != nullptr ? std::string_view(value.bv_val, value.bv_len) : std::string_view();
    return std::nullopt;
}

}  // namespace

LdifProblem ldifProblem(LdifProblem::Kind kind, unsigned long line, const std::string& reason) {
    return LdifProblem{kind, line, terminalText(reason)};
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool named(const LdifLine& line, std::string_view name) {
    return !line.separator && sameName(line.name, name);
}

std::string nameOf(const LdifLine& line) {
    return line.separator ? "-" : std::string(line.name);
}

std::optional<LdifProblem> splitLines(char* buffer, std::string_view original,
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
        } else if (std::optional<LdifProblem> problem =
                       parseLine(text, first, dn, messages, line)) {
            return problem;
        } else if (dn.empty() && sameName(line.name, "dn")) {
            dn = line.value;
        }
        lines.push_back(line);
    }
    return std::nullopt;
}

}  // namespace kestrel
