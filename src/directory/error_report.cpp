#include "directory/error_report.h"

#include "directory/ldap_client.h"
#include "util/hex_text.h"
#include "util/terminal_text.h"

namespace kestrel {

void writeLdapError(Reporter& reporter, std::string_view label, std::string_view subject,
                    std::int32_t code, std::string_view codeText) {
    reporter.problem(std::string(label) + ": [" + terminalText(subject) + "] Error 0x" +
                     lowerHex(static_cast<std::uint32_t>(code)) + " (" + std::to_string(code) +
                     ") - " + std::string(codeText) + "\n");
}

void writeServerText(Reporter& reporter, std::string_view text) {
    if (!text.empty()) {
        reporter.problem("Extended Error: (" + terminalServerText(text) + ")\n");
    }
}

void reportLdapError(Reporter& reporter, const std::string& label, const std::string& subject,
                     int code, LdapConnection* handle) {
    const std::string serverError = handle != nullptr ? handle->lastDiagnostic() : "";
    writeLdapError(reporter, label, subject, code, ldapErrorText(code));
    writeServerText(reporter, serverError);
}

}  // namespace kestrel
