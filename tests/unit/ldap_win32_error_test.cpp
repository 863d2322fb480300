#include "password/ldap_win32_error.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "session/ldap_client.h"
#include "util/windows_error_text.h"

namespace kestrel {
namespace {

struct Row {
    int ldap;
    std::string diagnostic;
    std::uint32_t hresult;
};

TEST(HresultFromLdap, AsThePlatformDirectoryClientReportsThem) {
    const std::vector<Row> rows = {
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
    for (const Row& row : rows) {
        EXPECT_EQ(static_cast<std::uint32_t>(hresultFromLdap(row.ldap, row.diagnostic)),
                  row.hresult)
            << "LDAP code " << row.ldap;
    }
}

TEST(HresultFromLdap, APasswordPolicyRefusalIsTheNetworkPolicyError) {
    const std::vector<Row> rows = {
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
    for (const Row& row : rows) {
        EXPECT_EQ(static_cast<std::uint32_t>(hresultFromLdap(row.ldap, row.diagnostic)),
                  row.hresult)
            << row.diagnostic;
    }
}

// Every code the layer can report must come out with the system's text, not the fallback.
TEST(HresultFromLdap, EveryMappedCodeHasAMessageText) {
    for (int code = 1; code <= 0x80; ++code) {
        const HRESULT hr = hresultFromLdap(code, "");
        EXPECT_NE(windowsErrorText(hr), "Unknown Error\n") << "LDAP code " << code;
    }
    EXPECT_NE(windowsErrorText(hresultFromLdap(19, "0000052D: x")), "Unknown Error\n");
}

}  // namespace
}  // namespace kestrel
