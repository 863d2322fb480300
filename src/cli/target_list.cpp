#include "cli/target_list.h"

#include "cli/ldif_targets.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrel {
namespace {

// Removes the double quotes a shell or a query tool put around a DN, but not an escaped
// one (after an odd number of backslashes): that quote is part of a value, and removing it
// would leave a DN naming another object.
std::string withoutQuotes(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    std::size_t backslashes = 0;
    for (const char c : text) {
        if (c != '"' || backslashes % 2 == 1) {
            result += c;
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    return result;
}

// Splits standard input into lines. Input is read in large blocks and cut with memchr, so a
// million DNs cost a handful of reads rather than a call per character. The first line that
// is neither empty, blank-led nor a comment decides how all lines are read: LDIF when it
// starts with "dn:" or "version:", else one DN per line, exactly as before LDIF was read.
class LineCollector {
  public:
    LineCollector(Reporter& reporter, DnList& targets)
        : reporter_(reporter), targets_(targets), ldif_(reporter, targets) {
        line_.reserve(kKeep);
    }

    void feed(const char* data, std::size_t size) {
        const char* const end = data + size;
        while (data < end) {
            const void* found = std::memchr(data, '\n', static_cast<std::size_t>(end - data));
            const char* const newline = static_cast<const char*>(found);
            const char* const stop = newline != nullptr ? newline : end;
            append(data, static_cast<std::size_t>(stop - data));
            if (newline == nullptr) {
                return;
            }
            finishLine(true);
            data = newline + 1;
        }
    }

    // A last line without a newline counts like any other.
    void finish() {
        if (!line_.empty() || tooLong_) {
            finishLine(false);
        }
        if (format_ == Format::Undecided) {
            decide(Format::Plain);
        }
        if (format_ == Format::Ldif) {
            ldif_.finish();
        }
    }

  private:
    // Enough for an LDIF dn line whose DN is within the limit, and one more, so that a
    // full-length line may still carry its "\r". A plain line is held to the shorter limit.
    static constexpr std::size_t kKeep = kLongestLdifDnLine + 1;

    enum class Format { Undecided, Plain, Ldif };

    // A line held back until the format is known.
    struct Pending {
        std::string text;
        std::size_t number;
        bool cut;
    };

    void append(const char* data, std::size_t size) {
        if (tooLong_) {
            return;
        }
        const std::size_t room = kKeep - line_.size();
        if (size > room) {
            // Only the beginning is kept, to tell what kind of line it is: a long line is
            // never taken in part, since it would become a different DN.
            line_.append(data, room);
            tooLong_ = true;
            return;
        }
        line_.append(data, size);
    }

    void finishLine(bool endedByNewline) {
        ++lineNumber_;
        if (endedByNewline && !tooLong_ && !line_.empty() && line_.back() == '\r') {
            line_.pop_back();
        }
        const bool cut = tooLong_ || line_.size() > kLongestLdifDnLine;
        if (format_ == Format::Undecided) {
            if (line_.empty()) {
                // Skipped in either format.
            } else if (line_.front() == ' ' || line_.front() == '#') {
                pending_.push_back({line_, lineNumber_, cut});
            } else {
                decide(startsLdif(line_) ? Format::Ldif : Format::Plain);
            }
        }
        if (format_ == Format::Plain) {
            plainLine(line_);
        } else if (format_ == Format::Ldif) {
            ldif_.line(line_, lineNumber_, cut);
        }
        line_.clear();
        tooLong_ = false;
    }

    // Reads the lines held back so far as the format says.
    void decide(Format format) {
        format_ = format;
        for (const Pending& line : pending_) {
            if (format == Format::Plain) {
                plainLine(line.text);
            } else {
                ldif_.line(line.text, line.number, line.cut);
            }
        }
        pending_.clear();
    }

    // A line cut short is longer than the limit too.
    void plainLine(const std::string& line) {
        if (line.size() > kTargetLineBuffer) {
            // The skip itself is what the buffer size demands, but the admin must learn
            // that a target was dropped, also in quiet mode.
            reporter_.warning("Skipped a standard input line longer than " +
                              std::to_string(kTargetLineBuffer) + " characters.\n");
        } else if (!line.empty() && line.front() != ' ') {
            takeTarget(line);
        }
    }

    // A line that the reading rules accept becomes a target, unless it would name
    // something else than it says.
    void takeTarget(const std::string& line) {
        if (line.find('\0') != std::string::npos) {
            // The directory interface takes C strings: the DN would be cut at the NUL and
            // name another object.
            reporter_.warning("Skipped a standard input line that held a NUL byte.\n");
            return;
        }
        std::string dn = withoutQuotes(line);
        if (dn.empty()) {
            // The empty DN is the RootDSE: a stray "" in a piped list must not turn into a
            // change of the server's root entry. -b "" and -rootdse still do.
            reporter_.warning("Skipped a standard input line that held only double quotes.\n");
            return;
        }
        targets_.push_back(std::move(dn));
    }

    Reporter& reporter_;
    DnList& targets_;
    LdifTargetReader ldif_;
    Format format_ = Format::Undecided;
    std::vector<Pending> pending_;
    std::string line_;
    std::size_t lineNumber_ = 0;
    bool tooLong_ = false;
};

// A UTF-8 byte order mark, as some Windows tools begin a text with: no part of the first
// line, whichever way the input is read.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

DnList collectTargets(Reporter& reporter, const RunSettings& settings, std::istream& input) {
    DnList targets;
    if (settings.baseDnGiven) {
        // Even an empty DN is a target: it names the RootDSE.
        targets.push_back(withoutQuotes(settings.baseDn));
        return targets;
    }

    reporter.trace("DEBUG: Reading in STDIN...\n");
    LineCollector collector(reporter, targets);
    std::vector<char> block(std::size_t{1} << 16);
    bool first = true;
    while (input) {
        input.read(block.data(), static_cast<std::streamsize>(block.size()));
        const std::streamsize got = input.gcount();
        if (got <= 0) {
            break;
        }
        // The first read fills the block unless the input ends sooner, so it holds the
        // whole mark when there is one.
        std::string_view data(block.data(), static_cast<std::size_t>(got));
        if (first && data.starts_with(kByteOrderMark)) {
            data.remove_prefix(kByteOrderMark.size());
        }
        first = false;
        collector.feed(data.data(), data.size());
    }
    collector.finish();
    return targets;
}

Verdict checkTargets(Reporter& reporter, const RunSettings& settings, const DnList& targets) {
    return checkTargetCount(reporter, settings, targets.size());
}

Verdict checkTargetCount(Reporter& reporter, const RunSettings& settings, std::size_t count) {
    reporter.info("DN Count: " + std::to_string(count) + "\n");

    if (count == 0) {
        return Refusal::saying(
            "\nNo object DNs to update.\n\nThe command completed successfully.\n\n", 0);
    }

    // Compared unsigned, so a negative limit (-1 from -unsafe) never refuses.
    if (count > static_cast<std::uint32_t>(settings.safetyLimit)) {
        return Refusal::saying("\nMore DNs than allowed for by safety setting of " +
                               std::to_string(settings.safetyLimit) +
                               "\nUse safety parameter to specify larger safety size.\n\n"
                               "The command did not complete successfully\n");
    }

    if (settings.mode == RunMode::Rename && count > 1) {
        return Refusal::saying(
            "ERROR: Rename requires single DN\n\nThe command did not complete successfully.\n\n");
    }
    return std::nullopt;
}

}  // namespace kestrel
