#include "session/error_report.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/windows_error_text.h"
#include "session/ldap_client.h"

namespace kestrel {
namespace {

std::string lowerHex(std::uint32_t value) {
    std::array<char, 16> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%x", value);
    return buffer.data();
}

struct AdsiErrorRow {
    std::uint32_t code;
    const char* name;
};

// Searched in this order; 0x80005011 to 0x80005013 have no row.
constexpr std::array kAdsiErrors{
    AdsiErrorRow{0x80005000u, "E_ADS_BAD_PATHNAME"},
    AdsiErrorRow{0x80005001u, "E_ADS_INVALID_DOMAIN_OBJECT"},
    AdsiErrorRow{0x80005002u, "E_ADS_INVALID_USER_OBJECT"},
    AdsiErrorRow{0x80005003u, "E_ADS_INVALID_COMPUTER_OBJECT"},
    AdsiErrorRow{0x80005004u, "E_ADS_UNKNOWN_OBJECT"},
    AdsiErrorRow{0x80005005u, "E_ADS_PROPERTY_NOT_SET"},
    AdsiErrorRow{0x80005006u, "E_ADS_PROPERTY_NOT_SUPPORTED"},
    AdsiErrorRow{0x80005007u, "E_ADS_PROPERTY_INVALID"},
    AdsiErrorRow{0x80005008u, "E_ADS_BAD_PARAMETER"},
    AdsiErrorRow{0x80005009u, "E_ADS_OBJECT_UNBOUND"},
    AdsiErrorRow{0x8000500Au, "E_ADS_PROPERTY_NOT_MODIFIED"},
    AdsiErrorRow{0x8000500Bu, "E_ADS_PROPERTY_MODIFIED"},
    AdsiErrorRow{0x8000500Cu, "E_ADS_CANT_CONVERT_DATATYPE"},
    AdsiErrorRow{0x8000500Du, "E_ADS_PROPERTY_NOT_FOUND"},
    AdsiErrorRow{0x8000500Eu, "E_ADS_OBJECT_EXISTS"},
    AdsiErrorRow{0x8000500Fu, "E_ADS_SCHEMA_VIOLATION"},
    AdsiErrorRow{0x80005010u, "E_ADS_COLUMN_NOT_SET"},
    AdsiErrorRow{0x80005014u, "E_ADS_INVALID_FILTER"},
};

}  // namespace

void reportLdapError(Console& console, const std::string& label, const std::string& subject,
                     int code, LdapConnection* handle) {
    std::string serverError;
    if (handle != nullptr) {
        serverError = handle->lastDiagnostic();
    }
    console.err() << label << ": [" << subject << "] Error 0x"
                  << lowerHex(static_cast<std::uint32_t>(code)) << " (" << code << ") - "
                  << ldapErrorText(code) << "\n";
    if (!serverError.empty()) {
        console.err() << "Extended Error: (" << serverError << ")\n";
    }
}

std::int32_t reportWindowsError(Console& console, const std::string& label, std::int32_t code) {
    console.out() << label << "(" << code << ") " << windowsErrorText(code);
    return code;
}

std::string adsiErrorName(std::int32_t code) {
    for (const auto& row : kAdsiErrors) {
        if (row.code == static_cast<std::uint32_t>(code)) {
            return row.name;
        }
    }
    return "";
}

std::string adsiErrorText(Console& console, std::int32_t code) {
    const auto ucode = static_cast<std::uint32_t>(code);
    if (ucode == 0) {
        return "Success";
    }
    if ((ucode & 0x5000u) == 0x5000u) {
        console.out() << "adsi error\n";
        return adsiErrorName(code);
    }
    const std::uint32_t facility = (ucode >> 16) & 0x1FFFu;
    if (facility == 0 || facility == 7 || facility == 8) {
        return windowsErrorText(code);
    }
    return "Unknown Error: 0x" + lowerHex(ucode);
}

std::int32_t reportAdsiError(Console& console, const std::string& label, std::int32_t code) {
    const std::string text = adsiErrorText(console, code);
    console.err() << label << "(0x" << lowerHex(static_cast<std::uint32_t>(code)) << ") " << text;
    return code;
}

void hexDump(Console& console, const std::uint8_t* bytes, std::size_t length) {
    if (length == 0) {
        return;
    }
    std::ostream& out = console.out();
    std::string characters = "DECODE:\n";
    std::size_t counter = 0;
    static constexpr char kDigits[] = "0123456789abcdef";
    while (counter < length) {
        std::array<char, 8> label{};
        std::snprintf(label.data(), label.size(), "%04X ", static_cast<unsigned>(counter));
        out << label.data();
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
            out << kDigits[byte >> 4] << kDigits[byte & 0x0F] << ' ';
        }
        out << "\n";
        characters += "\n";
    }
    out << characters << "\n";
}

}  // namespace kestrel
