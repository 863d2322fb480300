#include "password/password_status.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "directory/ldap_client.h"
#include "util/windows_error_text.h"

namespace kestrel {
namespace {

struct MappingRow {
    int ldap;
    std::string diagnostic;
    std::uint32_t hresult;
};

TEST(HresultFromLdap, AsThePlatformDirectoryClientReportsThem) {
    const std::vector<MappingRow> rows = {
        {0, "", 0},
        {50, "error in module acl: insufficient access rights during LDB_MODIFY (50)", 0x80070005u},
        {32, "00002030: No such Base DN: CN=x", 0x80072030u},
        {kLdapServerDown, "", 0x8007203Au},
        {53, "00002035: setup_io: it's not allowed to set the NT hash password directly'",
         0x80072035u},
        {19, "", 0x8007202Fu},
        {19, "0000202F: objectclass_attrs: attribute 'isDeleted' can only be modified as system",
         0x8007202Fu},
        {1, "", 0x80072020u},
        {16, "", 0x8007200Au},
        {20, "", 0x8007200Du},
        {21, "", 0x8007200Bu},
        {34, "", 0x80072032u},
        {49, "", 0x8007052Eu},
        {65, "", 0x80072014u},
        {66, "", 0x80072015u},
        {68, "Entry CN=x already exists", 0x80071392u},
        {80, "", 0x8007001Fu},
        {kLdapLocalError, "SASL(-1): generic failure", 0x8007203Bu},
        {kLdapTimeout, "", 0x800705B4u},
        {kLdapNoMemory, "", 0x80070008u},
        {kLdapConnectError, "", 0x800704C9u},
        {0x58, "", 0x800704C7u},
        {0x5F, "", 0x800700EAu},
        {0x61, "", 0x80072044u},
        // Codes without a row are a generic directory service error.
        {14, "", 0x80072095u},
        {0x4C, "", 0x80072095u},
        {118, "", 0x80072095u},
    };
    for (const MappingRow& row : rows) {
        EXPECT_EQ(static_cast<std::uint32_t>(hresultFromLdap(row.ldap, row.diagnostic)),
                  row.hresult)
            << "LDAP code " << row.ldap;
    }
}

TEST(HresultFromLdap, APasswordPolicyRefusalIsTheNetworkPolicyError) {
    const std::vector<MappingRow> rows = {
        {19,
         "0000052D: Constraint violation - check_password_restrictions: the password is too "
         "short. It should be equal or longer than 7 characters!",
         0x800708C5u},
        {19,
         "0000052D: Constraint violation - check_password_restrictions: the password does "
         "not meet the complexity criteria!",
         0x800708C5u},
        {19, "0000052d: lower-case digits", 0x800708C5u},
        // Only a leading code counts, and only on a constraint violation.
        {19, "00000056: Constraint violation - The old password specified doesn't match!",
         0x8007202Fu},
        {19, " 0000052D: indented", 0x8007202Fu},
        {19, "0000052D without a colon", 0x8007202Fu},
        {19, "0000052D", 0x8007202Fu},
        {19, "000052D: seven digits", 0x8007202Fu},
        {53, "0000052D: Constraint violation", 0x80072035u},
    };
    for (const MappingRow& row : rows) {
        EXPECT_EQ(static_cast<std::uint32_t>(hresultFromLdap(row.ldap, row.diagnostic)),
                  row.hresult)
            << row.diagnostic;
    }
}

// Every code a password change can end with must come out with the system's text, not
// the fallback.
TEST(HresultFromLdap, EveryMappedCodeHasAMessageText) {
    for (int code = 1; code <= 0x80; ++code) {
        const std::int32_t status = hresultFromLdap(code, "");
        EXPECT_NE(windowsErrorText(status), "Unknown Error\n") << "LDAP code " << code;
    }
    EXPECT_NE(windowsErrorText(hresultFromLdap(19, "0000052D: x")), "Unknown Error\n");
}

TEST(StatusText, TheFirstMatchingRuleGivesTheTexts) {
    struct Row {
        std::uint32_t code;
        std::string note;
        std::string text;
    };
    const std::string adsi = "adsi error\n";
    const std::vector<Row> rows = {
        {0u, "", "Success"},
        // The directory-object names, with the gaps of their table.
        {0x80005000u, adsi, "E_ADS_BAD_PATHNAME"},
        {0x80005001u, adsi, "E_ADS_INVALID_DOMAIN_OBJECT"},
        {0x80005002u, adsi, "E_ADS_INVALID_USER_OBJECT"},
        {0x80005003u, adsi, "E_ADS_INVALID_COMPUTER_OBJECT"},
        {0x80005004u, adsi, "E_ADS_UNKNOWN_OBJECT"},
        {0x80005005u, adsi, "E_ADS_PROPERTY_NOT_SET"},
        {0x80005006u, adsi, "E_ADS_PROPERTY_NOT_SUPPORTED"},
        {0x80005007u, adsi, "E_ADS_PROPERTY_INVALID"},
        {0x80005008u, adsi, "E_ADS_BAD_PARAMETER"},
        {0x80005009u, adsi, "E_ADS_OBJECT_UNBOUND"},
        {0x8000500Au, adsi, "E_ADS_PROPERTY_NOT_MODIFIED"},
        {0x8000500Bu, adsi, "E_ADS_PROPERTY_MODIFIED"},
        {0x8000500Cu, adsi, "E_ADS_CANT_CONVERT_DATATYPE"},
        {0x8000500Du, adsi, "E_ADS_PROPERTY_NOT_FOUND"},
        {0x8000500Eu, adsi, "E_ADS_OBJECT_EXISTS"},
        {0x8000500Fu, adsi, "E_ADS_SCHEMA_VIOLATION"},
        {0x80005010u, adsi, "E_ADS_COLUMN_NOT_SET"},
        {0x80005011u, adsi, ""},
        {0x80005012u, adsi, ""},
        {0x80005013u, adsi, ""},
        {0x80005014u, adsi, "E_ADS_INVALID_FILTER"},
        {0x80005015u, adsi, ""},
        // Any code with both bits of 0x5000 set looks like a directory-object code.
        {0x80075000u, adsi, ""},
        {0x5000u, adsi, ""},
        // System messages (facilities 0, 7 and 8) end their line.
        {0x80070005u, "", "Access is denied.\n"},
        {0x800708C5u, "",
         "The password does not meet the password policy requirements. Check the minimum "
         "password length, password complexity and password history requirements.\n"},
        {0x80004002u, "", "No such interface supported\n"},
        {5u, "", "Access is denied.\n"},
        {0x80080001u, "", "Unknown Error\n"},
        // Other facilities: the code, without a line end.
        {0x80040E14u, "", "Unknown Error: 0x80040e14"},
        {0x8009030Cu, "", "Unknown Error: 0x8009030c"},
        {0x00030001u, "", "Unknown Error: 0x30001"},
    };
    for (const Row& row : rows) {
        const StatusText text = statusText(static_cast<std::int32_t>(row.code));
        EXPECT_EQ(text.note, row.note) << std::hex << row.code;
        EXPECT_EQ(text.text, row.text) << std::hex << row.code;
    }
}

}  // namespace
}  // namespace kestrel
