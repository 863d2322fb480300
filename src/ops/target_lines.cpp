#include "ops/target_lines.h"

#include <string>

#include "session/error_report.h"

namespace kestrel {

void writeTargetStart(Reporter& reporter, std::string_view dn) {
    reporter.info("   DN: " + std::string(dn) + "...");
}

void writeTargetFailure(Reporter& reporter, std::string_view subject, std::int32_t code,
                        std::string_view codeText, bool showServerText,
                        std::string_view serverText) {
    if (!reporter.quiet) {
        writeLdapError(reporter, "", subject, code, codeText);
    }
    if (showServerText && !serverText.empty()) {
        reporter.notice("   Extended Error: " + std::string(serverText) + "\n");
    }
}

}  // namespace kestrel
