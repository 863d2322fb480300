// The target list: standard input read line by line into DNs (or, when it starts as LDIF,
// the DN of each entry, decoded, and a warning for each line that is no LDIF), then the
// count and the checks that stand before the directory.
// The reader works on large blocks and decides the format as it goes; here it is held
// against a plain reading of the whole input by the same rules.
//
// The first input line holds the settings: a leading number is the safety limit (none:
// the default 10), "u" lifts the limit, "r" is rename mode, "q" quiet, "d" debug, and "b"
// takes the second line as the -b value instead of reading the rest as standard input.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/settings_reader.h"
#include "cli/target_list.h"
#include "fuzz_input.h"
#include "ldif/ldif_writer.h"
#include "util/base64.h"
#include "util/reporter.h"
#include "util/terminal_text.h"
#include "util/utf8_characters.h"

using kestrel::fuzz::require;

namespace {

constexpr std::string_view kLongLine =
    "WARN: Skipped a standard input line longer than 10240 characters.\n";
constexpr std::string_view kNul = "WARN: Skipped a standard input line that held a NUL byte.\n";
constexpr std::string_view kQuotesOnly =
    "WARN: Skipped a standard input line that held only double quotes.\n";

constexpr std::string_view kLdifLong =
    "WARN: Skipped an LDIF entry whose DN is longer than 10240 characters.\n";
constexpr std::string_view kLdifNul = "WARN: Skipped an LDIF entry whose DN held a NUL byte.\n";
constexpr std::string_view kLdifEmpty =
    "WARN: Skipped an LDIF entry with an empty DN (the RootDSE).\n";
constexpr std::string_view kLdifNotBase64 =
    "WARN: Skipped an LDIF entry whose dn:: value is not base64.\n";
constexpr std::string_view kLdifUrl = "WARN: Skipped an LDIF entry whose DN is given as a URL.\n";

struct Expected {
    kestrel::DnList targets;
    std::string warnings;
};

// The input's lines, without their line ends (one carriage return before a newline goes).
std::vector<std::string_view> physicalLines(std::string_view input) {
    std::vector<std::string_view> lines;
    while (!input.empty()) {
        const std::size_t newline = input.find('\n');
        std::string_view line = input.substr(0, newline);
        if (newline == std::string_view::npos) {
            input = {};
        } else {
            input.remove_prefix(newline + 1);
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
        }
        lines.push_back(line);
    }
    return lines;
}

bool startsWithFolded(std::string_view line, std::string_view lowerPrefix) {
    if (line.size() < lowerPrefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        const char c = line[i] >= 'A' && line[i] <= 'Z' ? static_cast<char>(line[i] + 32) : line[i];
        if (c != lowerPrefix[i]) {
            return false;
        }
    }
    return true;
}

// LDIF when the first line that is neither empty, blank-led nor a comment says so.
bool isLdif(std::string_view input) {
    for (const std::string_view line : physicalLines(input)) {
        if (line.empty() || line.front() == ' ' || line.front() == '#') {
            continue;
        }
        return startsWithFolded(line, "dn:") || startsWithFolded(line, "version:");
    }
    return false;
}

// The longest line kept whole; of a longer one, this much decides what it is.
constexpr std::size_t kLineKept = 2 * kestrel::kTargetLineBuffer + 1;

// A line that is neither a dn line nor a continuation is LDIF when it is empty, a comment,
// "-", or holds an attribute description before its first colon.
bool isLdifLine(std::string_view line) {
    const std::string_view head = line.substr(0, kLineKept);
    const std::size_t colon = head.find(':');
    return line.empty() || line.front() == '#' || line == "-" ||
           (colon != std::string_view::npos &&
            kestrel::isLdifAttributeDescription(head.substr(0, colon)));
}

// The warning for a line that is no LDIF: as many whole characters as fit in 80 bytes,
// control characters escaped as on every line for a person.
std::string notLdifWarning(std::size_t number, std::string_view line) {
    std::size_t shown = 0;
    while (shown < line.size() && shown + kestrel::characterAt(line, shown).size() <= 80) {
        shown += kestrel::characterAt(line, shown).size();
    }
    return "WARN: Skipped standard input line " + std::to_string(number) +
           ", which is not LDIF: \"" + kestrel::terminalText(line.substr(0, shown)) +
           (shown < line.size() ? "\"...\n" : "\"\n");
}

// The LDIF rules on whole lines: every dn line with its continuations is one DN, too long
// when the joined text is over twice the limit (room for base64 and blanks) or the DN over
// the limit.
Expected readLdif(std::string_view input) {
    Expected expected;
    std::string dnLine;
    bool inDn = false;
    const auto take = [&] {
        if (!inDn) {
            return;
        }
        inDn = false;
        if (dnLine.size() > 2 * kestrel::kTargetLineBuffer) {
            expected.warnings += kLdifLong;
            return;
        }
        std::string_view value = std::string_view(dnLine).substr(3);
        const bool base64 = !value.empty() && value.front() == ':';
        if (base64) {
            value.remove_prefix(1);
        }
        const std::size_t start = value.find_first_not_of(' ');
        value = start == std::string_view::npos ? std::string_view() : value.substr(start);
        std::string dn;
        if (base64) {
            const std::size_t end = value.find_last_not_of(' ');
            const auto decoded = kestrel::decodeBase64(value.substr(0, end + 1));
            if (!decoded) {
                expected.warnings += kLdifNotBase64;
                return;
            }
            dn = *decoded;
        } else if (!value.empty() && value.front() == '<') {
            expected.warnings += kLdifUrl;
            return;
        } else {
            dn = std::string(value);
        }
        if (dn.size() > kestrel::kTargetLineBuffer) {
            expected.warnings += kLdifLong;
        } else if (dn.find('\0') != std::string::npos) {
            expected.warnings += kLdifNul;
        } else if (dn.empty()) {
            expected.warnings += kLdifEmpty;
        } else {
            expected.targets.push_back(dn);
        }
    };
    std::size_t number = 0;
    for (const std::string_view line : physicalLines(input)) {
        ++number;
        if (!line.empty() && line.front() == ' ') {
            if (inDn) {
                dnLine += line.substr(1, kLineKept);
            }
            continue;
        }
        take();
        if (startsWithFolded(line, "dn:")) {
            inDn = true;
            dnLine = std::string(line.substr(0, kLineKept));
        } else if (!isLdifLine(line)) {
            expected.warnings += notLdifWarning(number, line);
        }
    }
    take();
    return expected;
}

// A quote after an odd number of backslashes is escaped: it belongs to the DN and stays.
std::string withoutQuotes(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t backslashes = 0;
        while (backslashes < i && text[i - 1 - backslashes] == '\\') {
            ++backslashes;
        }
        if (text[i] != '"' || backslashes % 2 == 1) {
            result += text[i];
        }
    }
    return result;
}

// The reading rules, one line at a time.
Expected readLines(std::string_view input) {
    Expected expected;
    for (const std::string_view line : physicalLines(input)) {
        if (line.size() > kestrel::kTargetLineBuffer) {
            expected.warnings += kLongLine;
        } else if (line.empty() || line.front() == ' ') {
            continue;
        } else if (line.find('\0') != std::string_view::npos) {
            expected.warnings += kNul;
        } else if (std::string dn = withoutQuotes(line); dn.empty()) {
            expected.warnings += kQuotesOnly;
        } else {
            expected.targets.push_back(std::move(dn));
        }
    }
    return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t firstEnd = all.find('\n');
    const std::string_view flags = all.substr(0, firstEnd);
    std::string_view input = firstEnd == std::string_view::npos ? "" : all.substr(firstEnd + 1);

    kestrel::RunSettings settings;
    settings.mode = flags.find('r') != std::string_view::npos ? kestrel::RunMode::Rename
                                                              : kestrel::RunMode::Modify;
    if (!flags.empty() && flags.front() >= '0' && flags.front() <= '9') {
        settings.safetyLimit = kestrel::readNumber(flags);
    }
    if (flags.find('u') != std::string_view::npos) {
        settings.safetyLimit = -1;
    }
    if (flags.find('b') != std::string_view::npos) {
        settings.baseDnGiven = true;
        settings.baseDn = std::string(input.substr(0, input.find('\n')));
    }

    std::ostringstream out;
    std::ostringstream err;
    kestrel::Reporter reporter(out, err);
    reporter.quiet = flags.find('q') != std::string_view::npos;
    reporter.debug = flags.find('d') != std::string_view::npos;
    std::istringstream stream{std::string(input)};
    const kestrel::DnList targets = kestrel::collectTargets(reporter, settings, stream);

    if (settings.baseDnGiven) {
        require(targets.size() == 1 && targets.front() == withoutQuotes(settings.baseDn),
                "-b gives exactly its value, without quotes");
        require(out.str().empty(), "-b reads nothing and says nothing");
    } else {
        // A byte order mark at the start is no part of the first line.
        if (input.starts_with("\xEF\xBB\xBF")) {
            input.remove_prefix(3);
        }
        const Expected expected = isLdif(input) ? readLdif(input) : readLines(input);
        require(targets == expected.targets, "the block reader agrees with line-by-line reading");
        const std::string announced = reporter.debug ? "DEBUG: Reading in STDIN...\n" : "";
        require(out.str() == announced + expected.warnings,
                "one warning per skipped line or entry");
        for (const std::string& dn : targets) {
            require(!dn.empty(), "standard input never names the RootDSE");
            require(dn.find('\0') == std::string::npos, "a DN holds no NUL");
        }
    }
    require(err.str().empty(), "reading targets writes no error");

    std::ostringstream checkOut;
    kestrel::Reporter checkConsole(checkOut, err);
    checkConsole.quiet = reporter.quiet;
    const kestrel::Verdict refusal = kestrel::checkTargets(checkConsole, settings, targets);
    const bool overLimit = targets.size() > static_cast<std::uint32_t>(settings.safetyLimit);
    const bool renameMany = settings.mode == kestrel::RunMode::Rename && targets.size() > 1;
    require(!refusal.has_value() == (!targets.empty() && !overLimit && !renameMany),
            "the run goes on only with an acceptable list");
    if (refusal) {
        require(refusal->status == (targets.empty() ? 0 : -1), "the stop's status");
    }
    return 0;
}
