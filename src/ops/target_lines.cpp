#include "ops/target_lines.h"

#include <string>

#include "directory/error_report.h"
#include "util/json_text.h"
#include "util/terminal_text.h"

namespace kestrel {

void writeTargetStart(Reporter& reporter, std::string_view dn) {
    reporter.info("   DN: " + terminalDn(dn) + "...");
}

void writeTargetFailure(Reporter& reporter, std::string_view subject, std::int32_t code,
                        std::string_view codeText, bool showServerText,
                        std::string_view serverText) {
    if (!reporter.quiet) {
        writeLdapError(reporter, "", subject, code, codeText);
    }
    if (showServerText && !serverText.empty()) {
        reporter.notice("   Extended Error: " + terminalServerText(serverText) + "\n");
    }
}

void ResultLines::write(Reporter& reporter, std::string_view dn, RequestFate fate,
                        std::int32_t code, std::string_view text, std::string_view serverText) {
    static constexpr std::array<const char*, 3> kOutcomes{"done", "failed", "unknown"};
    const std::size_t index = fate == RequestFate::Done ? 0 : fate == RequestFate::Unknown ? 2 : 1;
    ++counts_[index];
    reporter.result("{\"dn\":" + jsonString(dn) + ",\"outcome\":\"" + kOutcomes[index] +
                    "\",\"code\":" + std::to_string(code) + ",\"text\":" + jsonString(text) +
                    ",\"server_text\":" + jsonString(serverText) + "}\n");
}

void ResultLines::writeSummary(Reporter& reporter, int exitStatus) const {
    const std::size_t reported = counts_[0] + counts_[1] + counts_[2];
    reporter.result(
        "{\"targets\":" + std::to_string(targets) + ",\"done\":" + std::to_string(counts_[0]) +
        ",\"failed\":" + std::to_string(counts_[1]) + ",\"unknown\":" + std::to_string(counts_[2]) +
        ",\"not_sent\":" + std::to_string(targets > reported ? targets - reported : 0) +
        ",\"exit_status\":" + std::to_string(exitStatus) + "}\n");
}

}  // namespace kestrel
