#include "password/password_status.h"

#include <array>

#include "util/ascii_case.h"
#include "util/hex_text.h"
#include "util/windows_error_text.h"

namespace kestrel {
namespace {

struct MappingRow {
    int ldap;
    std::uint32_t win32;
};

// The platform directory client's table: mostly the ERROR_DS_* twin of each LDAP result
// (8224 + n for the RFC 4511 errors), with the general Win32 codes where it uses those.
constexpr std::array kLdapToWin32{
    MappingRow{0x01, 8224},  // operationsError -> ERROR_DS_OPERATIONS_ERROR
    MappingRow{0x02, 8225},  // protocolError
    MappingRow{0x03, 8226},  // timeLimitExceeded
    MappingRow{0x04, 8227},  // sizeLimitExceeded
    MappingRow{0x05, 8229},  // compareFalse
    MappingRow{0x06, 8230},  // compareTrue
    MappingRow{0x07, 8231},  // authMethodNotSupported
    MappingRow{0x08, 8232},  // strongerAuthRequired
    MappingRow{0x09, 234},   // partial results -> ERROR_MORE_DATA
    MappingRow{0x0A, 8235},  // referral
    MappingRow{0x0B, 8228},  // adminLimitExceeded
    MappingRow{0x0C, 8236},  // unavailableCriticalExtension
    MappingRow{0x0D, 8237},  // confidentialityRequired
    MappingRow{0x10, 8202},  // noSuchAttribute
    MappingRow{0x11, 8204},  // undefinedAttributeType
    MappingRow{0x12, 8238},  // inappropriateMatching
    MappingRow{0x13, 8239},  // constraintViolation
    MappingRow{0x14, 8205},  // attributeOrValueExists
    MappingRow{0x15, 8203},  // invalidAttributeSyntax
    MappingRow{0x20, 8240},  // noSuchObject
    MappingRow{0x21, 8241},  // aliasProblem
    MappingRow{0x22, 8242},  // invalidDNSyntax
    MappingRow{0x23, 8243},  // isLeaf
    MappingRow{0x24, 8244},  // aliasDereferencingProblem
    MappingRow{0x30, 8233},  // inappropriateAuthentication
    MappingRow{0x31, 1326},  // invalidCredentials -> ERROR_LOGON_FAILURE
    MappingRow{0x32, 5},     // insufficientAccessRights -> ERROR_ACCESS_DENIED
    MappingRow{0x33, 8206},  // busy
    MappingRow{0x34, 8207},  // unavailable
    MappingRow{0x35, 8245},  // unwillingToPerform
    MappingRow{0x36, 8246},  // loopDetect
    MappingRow{0x40, 8247},  // namingViolation
    MappingRow{0x41, 8212},  // objectClassViolation
    MappingRow{0x42, 8213},  // notAllowedOnNonLeaf
    MappingRow{0x43, 8214},  // notAllowedOnRDN
    MappingRow{0x44, 5010},  // entryAlreadyExists -> ERROR_OBJECT_ALREADY_EXISTS
    MappingRow{0x45, 8215},  // objectClassModsProhibited
    MappingRow{0x46, 8248},  // resultsTooLarge
    MappingRow{0x47, 8249},  // affectsMultipleDSAs
    MappingRow{0x50, 31},    // other -> ERROR_GEN_FAILURE
    MappingRow{0x51, 8250},  // server down
    MappingRow{0x52, 8251},  // local error
    MappingRow{0x53, 8252},  // encoding error
    MappingRow{0x54, 8253},  // decoding error
    MappingRow{0x55, 1460},  // timeout -> ERROR_TIMEOUT
    MappingRow{0x56, 8234},  // auth unknown
    MappingRow{0x57, 8254},  // filter error
    MappingRow{0x58, 1223},  // user cancelled -> ERROR_CANCELLED
    MappingRow{0x59, 8255},  // param error
    MappingRow{0x5A, 8},     // no memory -> ERROR_NOT_ENOUGH_MEMORY
    MappingRow{0x5B, 1225},  // connect error -> ERROR_CONNECTION_REFUSED
    MappingRow{0x5C, 8256},  // not supported
    MappingRow{0x5D, 8258},  // control not found
    MappingRow{0x5E, 8257},  // no results returned
    MappingRow{0x5F, 234},   // more results to return -> ERROR_MORE_DATA
    MappingRow{0x60, 8259},  // client loop
    MappingRow{0x61, 8260},  // referral limit exceeded
};

constexpr int kLdapConstraintViolation = 0x13;
constexpr std::uint32_t kErrorPasswordPolicy = 2245;  // NERR_PasswordTooShort
constexpr std::uint32_t kErrorDsGenericError = 8341;

// Active Directory style servers start their diagnostic text with the Win32 code in eight
// hexadecimal digits and a colon ("0000052D: Constraint violation - ...").
bool startsWithWin32Code(std::string_view diagnostic, std::string_view hexCode) {
    if (diagnostic.size() <= hexCode.size() || diagnostic[hexCode.size()] != ':') {
        return false;
    }
    return asciiLower(diagnostic.substr(0, hexCode.size())) == asciiLower(hexCode);
}

std::uint32_t win32FromLdap(int ldapCode, std::string_view diagnostic) {
    if (ldapCode == kLdapConstraintViolation && startsWithWin32Code(diagnostic, "0000052D")) {
        return kErrorPasswordPolicy;
    }
    for (const MappingRow& row : kLdapToWin32) {
        if (row.ldap == ldapCode) {
            return row.win32;
        }
    }
    return kErrorDsGenericError;
}

struct NameRow {
    std::uint32_t code;
    const char* name;
};

// The directory-object error names; 0x80005011 to 0x80005013 have none.
constexpr std::array kAdsiNames{
    NameRow{0x80005000u, "E_ADS_BAD_PATHNAME"},
    NameRow{0x80005001u, "E_ADS_INVALID_DOMAIN_OBJECT"},
    NameRow{0x80005002u, "E_ADS_INVALID_USER_OBJECT"},
    NameRow{0x80005003u, "E_ADS_INVALID_COMPUTER_OBJECT"},
    NameRow{0x80005004u, "E_ADS_UNKNOWN_OBJECT"},
    NameRow{0x80005005u, "E_ADS_PROPERTY_NOT_SET"},
    NameRow{0x80005006u, "E_ADS_PROPERTY_NOT_SUPPORTED"},
    NameRow{0x80005007u, "E_ADS_PROPERTY_INVALID"},
    NameRow{0x80005008u, "E_ADS_BAD_PARAMETER"},
    NameRow{0x80005009u, "E_ADS_OBJECT_UNBOUND"},
    NameRow{0x8000500Au, "E_ADS_PROPERTY_NOT_MODIFIED"},
    NameRow{0x8000500Bu, "E_ADS_PROPERTY_MODIFIED"},
    NameRow{0x8000500Cu, "E_ADS_CANT_CONVERT_DATATYPE"},
    NameRow{0x8000500Du, "E_ADS_PROPERTY_NOT_FOUND"},
    NameRow{0x8000500Eu, "E_ADS_OBJECT_EXISTS"},
    NameRow{0x8000500Fu, "E_ADS_SCHEMA_VIOLATION"},
    NameRow{0x80005010u, "E_ADS_COLUMN_NOT_SET"},
    NameRow{0x80005014u, "E_ADS_INVALID_FILTER"},
};

std::string adsiName(std::uint32_t code) {
    for (const NameRow& row : kAdsiNames) {
        if (row.code == code) {
            return row.name;
        }
    }
    return "";
}

}  // namespace

std::int32_t hresultFromLdap(int ldapCode, std::string_view diagnostic) {
    return ldapCode == 0 ? 0 : hresultFromWin32(win32FromLdap(ldapCode, diagnostic));
}

StatusText statusText(std::int32_t status) {
    const auto bits = static_cast<std::uint32_t>(status);
    if (bits == 0) {
        return {"", "Success"};
    }
    // The first matching rule decides; any code with both bits of 0x5000 set is taken for
    // a directory-object one.
    if ((bits & 0x5000u) == 0x5000u) {
        return {"adsi error\n", adsiName(bits)};
    }
    const std::uint32_t facility = (bits >> 16) & 0x1FFFu;
    if (facility == 0 || facility == 7 || facility == 8) {
        return {"", windowsErrorText(status)};
    }
    return {"", "Unknown Error: 0x" + lowerHex(bits)};
}

}  // namespace kestrel
