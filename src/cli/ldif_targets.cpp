#include "cli/ldif_targets.h"

#include "ldif/ldif_writer.h"
#include "util/ascii_case.h"
#include "util/base64.h"
#include "util/terminal_text.h"
#include "util/utf8_characters.h"

namespace kestrel {
namespace {

bool startsWithName(std::string_view line, std::string_view nameAndColon) {
    return line.size() >= nameAndColon.size() &&
           asciiLower(line.substr(0, nameAndColon.size())) == nameAndColon;
}

// Besides dn lines and folded ones: an empty line between entries, a comment, the "-"
// between modifications, or "name:", "name::" or "name:<" and a value (version, changetype,
// an attribute, the search's trailer lines). A DN has no attribute description before its
// first colon, if it has a colon at all.
bool isLdifLine(std::string_view line) {
    if (line.empty() || line.front() == '#' || line == "-") {
        return true;
    }
    const std::size_t colon = line.find(':');
    return colon != std::string_view::npos && isLdifAttributeDescription(line.substr(0, colon));
}

// The beginning of a line as a WARN line shows it: whole characters up to 80 bytes,
// quoted, and what came in on standard input never drives the terminal.
std::string shownLine(std::string_view line) {
    constexpr std::size_t kShown = 80;
    std::size_t end = 0;
    while (end < line.size() && end + characterAt(line, end).size() <= kShown) {
        end += characterAt(line, end).size();
    }
    return '"' + terminalText(line.substr(0, end)) + (end < line.size() ? "\"..." : "\"");
}

}  // namespace

bool startsLdif(std::string_view line) {
    return startsWithName(line, "dn:") || startsWithName(line, "version:");
}

void LdifTargetReader::line(std::string_view line, std::size_t number, bool cutShort) {
    if (!line.empty() && line.front() == ' ') {
        // RFC 2849 folding: one blank starts a line that continues the one before.
        if (inDn_) {
            const std::string_view rest = line.substr(1);
            if (cutShort || dnLine_.size() + rest.size() > kLongestLdifDnLine) {
                tooLong_ = true;
            } else {
                dnLine_.append(rest);
            }
        }
        return;
    }
    endLogicalLine();
    // Comments, version, attribute lines and search/result trailers are not targets. An
    // attribute such as dnQualifier is not a dn line: the colon must follow "dn".
    if (startsWithName(line, "dn:")) {
        inDn_ = true;
        tooLong_ = cutShort || line.size() > kLongestLdifDnLine;
        if (!tooLong_) {
            dnLine_.assign(line);
        }
    } else if (!isLdifLine(line)) {
        // Dropped in silence, a list of DNs after a "version:" line would end as a run
        // that changed nothing and says it completed successfully.
        reporter_.warning("Skipped standard input line " + std::to_string(number) +
                          ", which is not LDIF: " + shownLine(line) + "\n");
    }
}

void LdifTargetReader::endLogicalLine() {
    if (inDn_) {
        takeDn();
    }
    inDn_ = false;
    tooLong_ = false;
    dnLine_.clear();
}

void LdifTargetReader::takeDn() {
    if (tooLong_) {
        reporter_.warning("Skipped an LDIF entry whose DN is longer than " +
                          std::to_string(kTargetLineBuffer) + " characters.\n");
        return;
    }
    std::string_view value = std::string_view(dnLine_).substr(3);
    const bool base64 = !value.empty() && value.front() == ':';
    if (base64) {
        value.remove_prefix(1);
    }
    // The blanks between the colon and the value (FILL) are not part of it; nor, in base64,
    // any at its end.
    while (!value.empty() && value.front() == ' ') {
        value.remove_prefix(1);
    }
    std::string dn;
    if (base64) {
        while (!value.empty() && value.back() == ' ') {
            value.remove_suffix(1);
        }
        auto decoded = decodeBase64(value);
        if (!decoded) {
            reporter_.warning("Skipped an LDIF entry whose dn:: value is not base64.\n");
            return;
        }
        dn = std::move(*decoded);
    } else if (!value.empty() && value.front() == '<') {
        // "dn:<" would be a URL, which LDIF allows for values but never for a DN.
        reporter_.warning("Skipped an LDIF entry whose DN is given as a URL.\n");
        return;
    } else {
        dn.assign(value);
    }
    if (dn.size() > kTargetLineBuffer) {
        reporter_.warning("Skipped an LDIF entry whose DN is longer than " +
                          std::to_string(kTargetLineBuffer) + " characters.\n");
    } else if (dn.find('\0') != std::string::npos) {
        // Sent as a C string, the DN would be cut at the NUL and name another object.
        reporter_.warning("Skipped an LDIF entry whose DN held a NUL byte.\n");
    } else if (dn.empty()) {
        // "dn:" alone is the RootDSE, which a search of the server's root entry prints; only
        // -b "" and -rootdse may name it.
        reporter_.warning("Skipped an LDIF entry with an empty DN (the RootDSE).\n");
    } else {
        // Taken as it is: in LDIF a double quote is part of the value.
        targets_.push_back(std::move(dn));
    }
}

}  // namespace kestrel
