#include "ldif/ldif_control_line.h"

#include <ldap.h>
#include <ldif.h>

#include <cctype>
#include <string>
#include <string_view>
#include <utility>

#include "util/secret_memory.h"

namespace kestrel {
namespace {

bool startsFolded(std::string_view text, std::string_view word) {
    return text.size() >= word.size() && sameName(text.substr(0, word.size()), word);
}

std::size_t skipSpaces(std::string_view text, std::size_t i) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) {
        ++i;
    }
    return i;
}

std::string bytes(const berval& value) {
    return value.bv_val != nullptr ? std::string(value.bv_val, value.bv_len) : std::string();
}

}  // namespace

std::optional<LdifProblem> readControl(const LdifLine& line, unsigned long first,
                                       LibraryMessages& messages, ServerControls& controls) {
    const std::string_view text = line.value.substr(0, line.value.find('\0'));
    const auto error = [&](const std::string& said) {
        return ldifProblem(LdifProblem::Kind::Malformed, first,
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
            return ldifProblem(LdifProblem::Kind::ReadsFile, line.number,
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

}  // namespace kestrel
