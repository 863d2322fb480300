// Targets from LDIF on standard input, as ldapsearch prints the entries it found: the DN
// of each entry, everything else ignored.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "cli/target_list.h"
#include "ops/run_settings.h"
#include "util/reporter.h"

namespace kestrel {

// The longest line of LDIF the reader needs whole: a dn line whose DN is within the
// target limit, even in base64 (a third longer) and with blanks after the colon. What
// matters of a longer line of another kind is its beginning.
inline constexpr std::size_t kLongestLdifDnLine = 2 * kTargetLineBuffer;

// True when a standard-input line (the first that decides) starts LDIF rather than a DN:
// "dn:" or "version:" in any letter case. Neither can begin a DN.
bool startsLdif(std::string_view line);

// Reads physical lines (line end and a carriage return before it already gone) and adds the
// DN of each "dn:" or "dn::" line, folded lines joined, to the targets. A DN that would
// name something else than it says is skipped with a WARN line, as on a plain line, and
// so is a line that is no LDIF at all (a DN after "version: 1"), naming its line number.
class LdifTargetReader {
  public:
    LdifTargetReader(Reporter& reporter, DnList& targets)
        : reporter_(reporter), targets_(targets) {}

    // `number`: the line's number in the input, from 1. `cutShort`: the line was longer
    // than the reader keeps, and `line` is its beginning.
    void line(std::string_view line, std::size_t number, bool cutShort);
    void finish() { endLogicalLine(); }

  private:
    void endLogicalLine();
    void takeDn();

    Reporter& reporter_;
    DnList& targets_;
    bool inDn_ = false;  // the logical line being read is a dn line
    std::string dnLine_;
    bool tooLong_ = false;
};

}  // namespace kestrel
