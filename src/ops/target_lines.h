// The lines the per-target loop writes about one target.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "directory/ldap_client.h"
#include "util/reporter.h"

namespace kestrel {

// "   DN: <dn>..." before a target's outcome; -q hides it.
void writeTargetStart(Reporter& reporter, std::string_view dn);

// A target's failure: the LDAP error line (hidden by -q), then with -exterr the server's
// text on "   Extended Error: <text>\n" (kept by -q).
void writeTargetFailure(Reporter& reporter, std::string_view subject, std::int32_t code,
                        std::string_view codeText, bool showServerText,
                        std::string_view serverText);

// -json: each reported target's result line, counted by outcome for the run's last line.
class ResultLines {
  public:
    // The target's line: its outcome, the code and the texts that tell why (the server's
    // text whatever -exterr says). A request that never left is a failure to a script: it
    // certainly changed nothing.
    void write(Reporter& reporter, std::string_view dn, RequestFate fate, std::int32_t code,
               std::string_view text, std::string_view serverText);
    // The last line: the counts by outcome, the targets that got no line (not sent: the run
    // stopped before them) and the exit status.
    void writeSummary(Reporter& reporter, int exitStatus) const;

    std::size_t targets = 0;  // the size of the target list

  private:
    std::array<std::size_t, 3> counts_{};  // lines written: done, failed, unknown
};

}  // namespace kestrel
