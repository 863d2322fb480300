#include "session/error_report.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "session/ldap_client.h"

namespace kestrel {

void reportLdapError(Reporter& reporter, const std::string& label, const std::string& subject,
                     int code, LdapConnection* handle) {
    const std::string serverError = handle != nullptr ? handle->lastDiagnostic() : "";
    reporter.ldapError(label, subject, code, ldapErrorText(code));
    reporter.serverText(serverError);
}

std::string hexDumpText(const std::uint8_t* bytes, std::size_t length) {
    if (length == 0) {
        return "";
    }
    std::string out;
    std::string characters = "DECODE:\n";
    std::size_t counter = 0;
    static constexpr char kDigits[] = "0123456789abcdef";
    while (counter < length) {
        std::array<char, 8> label{};
        std::snprintf(label.data(), label.size(), "%04X ", static_cast<unsigned>(counter));
        out += label.data();
        const std::size_t rowEnd = std::min(length, counter + 16);
        while (counter < rowEnd) {
            const std::uint8_t byte = bytes[counter];
            ++counter;
            if (byte > 32) {
                characters += static_cast<char>(byte);
            } else if (byte == 0) {
                characters += "\\0";
            } else {
                characters += '_';
            }
            out += kDigits[byte >> 4];
            out += kDigits[byte & 0x0F];
            out += ' ';
        }
        out += "\n";
        characters += "\n";
    }
    return out + characters + "\n";
}

}  // namespace kestrel
