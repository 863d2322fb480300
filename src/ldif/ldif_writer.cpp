#include "ldif/ldif_writer.h"

#include <algorithm>
#include <cstddef>

#include "util/base64.h"
#include "util/ldif_comment.h"

namespace kestrel {
namespace {

constexpr std::size_t kLineWidth = 76;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isKeyChar(char c) {
    return isAlpha(c) || isDigit(c) || c == '-';
}

// RFC 2849 allows any SAFE-STRING as text, but ldapmodify skips every blank after the
// colon (a leading tab is lost) and a control character is invisible on a screen, so text
// is kept to printable ASCII; a trailing space is lost to many tools.
bool isPlainText(std::string_view value) {
    if (value.empty()) {
        return true;
    }
    const char first = value.front();
    if (first == ' ' || first == ':' || first == '<' || value.back() == ' ') {
        return false;
    }
    return std::all_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte <= 0x7E;
    });
}

// What follows the name: ":", ": text" or ":: base64" (RFC 2849 value-spec).
std::string valueSpec(std::string_view value) {
    if (value.empty()) {
        return ":";
    }
    if (isPlainText(value)) {
        return ": " + std::string(value);
    }
    return ":: " + encodeBase64(value);
}

// Folding by bytes is safe: every folded line is ASCII (comments are never folded).
void appendFolded(std::string& out, std::string_view line) {
    out.append(line.substr(0, std::min(line.size(), kLineWidth)));
    for (std::size_t pos = kLineWidth; pos < line.size(); pos += kLineWidth - 1) {
        out += "\n ";
        out.append(line.substr(pos, kLineWidth - 1));
    }
    out += '\n';
}

void appendAttrValue(std::string& out, std::string_view name, std::string_view value) {
    appendFolded(out, std::string(name) + valueSpec(value));
}

std::string controlLine(const ServerControl& control) {
    std::string line = "control: " + control.oid + (control.critical ? " true" : " false");
    if (!control.value.empty()) {
        line += valueSpec(control.value);
    }
    return line;
}

const char* opName(ModOperation op) {
    switch (op) {
        case ModOperation::Add:
            return "add";
        case ModOperation::Delete:
            return "delete";
        case ModOperation::Replace:
            return "replace";
    }
    return "replace";
}

const char* changeTypeName(LdifChange::Kind kind) {
    switch (kind) {
        case LdifChange::Kind::Modify:
            return "modify";
        case LdifChange::Kind::Add:
            return "add";
        case LdifChange::Kind::Delete:
            return "delete";
        case LdifChange::Kind::ModDn:
            return "moddn";
    }
    return "modify";
}

bool writable(const LdifChange& change) {
    return std::all_of(change.modifications.begin(), change.modifications.end(),
                       [](const Modification& modification) {
                           return isLdifAttributeDescription(modification.attribute);
                       }) &&
           std::all_of(change.controls.begin(), change.controls.end(),
                       [](const ServerControl& control) { return isLdifOid(control.oid); });
}

}  // namespace

bool isLdifOid(std::string_view oid) {
    if (oid.empty() || oid.front() == '.' || oid.back() == '.') {
        return false;
    }
    char previous = '.';
    for (const char c : oid) {
        if (!isDigit(c) && !(c == '.' && previous != '.')) {
            return false;
        }
        previous = c;
    }
    return true;
}

bool isLdifAttributeDescription(std::string_view name) {
    const std::size_t semicolon = name.find(';');
    const std::string_view type = name.substr(0, semicolon);
    if (type.empty()) {
        return false;
    }
    if (isDigit(type.front())) {
        if (!isLdifOid(type)) {
            return false;
        }
    } else if (!isAlpha(type.front()) || !std::all_of(type.begin(), type.end(), isKeyChar)) {
        return false;
    }
    if (semicolon == std::string_view::npos) {
        return true;
    }
    std::string_view options = name.substr(semicolon + 1);
    while (true) {
        const std::size_t next = options.find(';');
        const std::string_view option = options.substr(0, next);
        if (option.empty() || !std::all_of(option.begin(), option.end(), isKeyChar)) {
            return false;
        }
        if (next == std::string_view::npos) {
            return true;
        }
        options.remove_prefix(next + 1);
    }
}

std::optional<std::string> ldifAttrValue(std::string_view name, std::string_view value) {
    if (!isLdifAttributeDescription(name)) {
        return std::nullopt;
    }
    std::string out;
    appendAttrValue(out, name, value);
    return out;
}

std::optional<std::string> ldifRecord(const LdifChange& change) {
    if (!writable(change)) {
        return std::nullopt;
    }
    std::string out;
    for (const auto& comment : change.comments) {
        out += ldifComment(comment);
    }
    appendAttrValue(out, "dn", change.dn);
    // RFC 2849: dn-spec SEP *control changerecord.
    for (const auto& control : change.controls) {
        appendFolded(out, controlLine(control));
    }
    appendFolded(out, std::string("changetype: ") + changeTypeName(change.kind));
    switch (change.kind) {
        case LdifChange::Kind::Modify:
            for (const auto& modification : change.modifications) {
                appendFolded(out, std::string(opName(modification.operation)) + ": " +
                                      modification.attribute);
                for (const auto& value : modification.values) {
                    appendAttrValue(out, modification.attribute, value);
                }
                out += "-\n";
            }
            break;
        case LdifChange::Kind::Add:
            for (const auto& attribute : change.modifications) {
                for (const auto& value : attribute.values) {
                    appendAttrValue(out, attribute.attribute, value);
                }
            }
            break;
        case LdifChange::Kind::Delete:
            break;
        case LdifChange::Kind::ModDn:
            appendAttrValue(out, "newrdn", change.newRdn);
            out += change.deleteOldRdn ? "deleteoldrdn: 1\n" : "deleteoldrdn: 0\n";
            if (change.newSuperior) {
                appendAttrValue(out, "newsuperior", *change.newSuperior);
            }
            break;
    }
    out += '\n';
    return out;
}

}  // namespace kestrel
