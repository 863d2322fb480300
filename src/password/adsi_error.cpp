#include "password/adsi_error.h"

#include <array>
#include <cstdio>

#include "util/windows_error_text.h"

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

std::string adsiErrorName(std::int32_t code) {
    for (const auto& row : kAdsiErrors) {
        if (row.code == static_cast<std::uint32_t>(code)) {
            return row.name;
        }
    }
    return "";
}

std::string adsiErrorText(Reporter& reporter, std::int32_t code) {
    const auto ucode = static_cast<std::uint32_t>(code);
    if (ucode == 0) {
        return "Success";
    }
    if ((ucode & 0x5000u) == 0x5000u) {
        reporter.out() << "adsi error\n";
        return adsiErrorName(code);
    }
    const std::uint32_t facility = (ucode >> 16) & 0x1FFFu;
    if (facility == 0 || facility == 7 || facility == 8) {
        return windowsErrorText(code);
    }
    return "Unknown Error: 0x" + lowerHex(ucode);
}

std::int32_t reportAdsiError(Reporter& reporter, const std::string& label, std::int32_t code) {
    const std::string text = adsiErrorText(reporter, code);
    reporter.err() << label << "(0x" << lowerHex(static_cast<std::uint32_t>(code)) << ") " << text;
    return code;
}

}  // namespace kestrel
