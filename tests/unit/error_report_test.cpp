#include "directory/error_report.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "directory/ldap_client.h"
#include "fake_ldap.h"
#include "util/exit_status.h"
#include "util/windows_error_text.h"

namespace kestrel {
namespace {

using fake::CapturedConsole;
using fake::FakeLdapLibrary;

TEST(ReportLdapError, WritesOneLineInTheFixedForm) {
    struct Row {
        std::string label;
        std::string subject;
        int code;
        std::string line;
    };
    const std::vector<Row> rows = {
        {"", "dc1.homelab.net", 32, ": [dc1.homelab.net] Error 0x20 (32) - No such object\n"},
        {"LDAP_BIND", "dc1", kLdapServerDown,
         "LDAP_BIND: [dc1] Error 0x51 (81) - Can't contact LDAP server\n"},
        {"LDAP_INIT", "", kLdapParamError,
         "LDAP_INIT: [] Error 0x59 (89) - Bad parameter to an ldap routine\n"},
        {"LDAP_OPTION (Version3): ", "dc1", 2,
         "LDAP_OPTION (Version3): : [dc1] Error 0x2 (2) - Protocol error\n"},
        {"Error: lastKnownParent", "", 50,
         "Error: lastKnownParent: [] Error 0x32 (50) - Insufficient access\n"},
        {"", "dc1", 0x61, ": [dc1] Error 0x61 (97) - Referral Limit Exceeded\n"},
        {"", "dc1", 0, ": [dc1] Error 0x0 (0) - Success\n"},
    };
    for (const Row& row : rows) {
        CapturedConsole captured;
        reportLdapError(captured.reporter, row.label, row.subject, row.code, nullptr);
        EXPECT_EQ(captured.err(), row.line);
        EXPECT_EQ(captured.out(), "");
    }
}

TEST(ReportLdapError, AHandleAddsTheServersTextWhenThereIsOne) {
    FakeLdapLibrary library;
    LdapSession session = library.session();
    CapturedConsole captured;
    library.diagnosticText = "";
    reportLdapError(captured.reporter, "LDAP_BIND", "dc1", 49, session.handle.get());
    EXPECT_EQ(captured.err(), "LDAP_BIND: [dc1] Error 0x31 (49) - Invalid credentials\n");

    CapturedConsole again;
    library.diagnosticText = "80090308: LdapErr: DSID-0C09041C, data 52e";
    reportLdapError(again.reporter, "LDAP_BIND", "dc1", 49, session.handle.get());
    EXPECT_EQ(again.err(),
              "LDAP_BIND: [dc1] Error 0x31 (49) - Invalid credentials\n"
              "Extended Error: (80090308: LdapErr: DSID-0C09041C, data 52e)\n");

    CapturedConsole hostile;
    library.diagnosticText = "forged\nline\x1b[2J";
    reportLdapError(hostile.reporter, "LDAP_BIND", "dc1\n", 49, session.handle.get());
    EXPECT_EQ(hostile.err(),
              "LDAP_BIND: [dc1\\x0A] Error 0x31 (49) - Invalid credentials\n"
              "Extended Error: (forged\\x0Aline\\x1B[2J)\n");
}

TEST(LdapCodes, ClientSideCodesMapToTheClassicValues) {
    struct Row {
        int library;
        int mapped;
    };
    const std::vector<Row> rows = {
        {0, 0},     {32, 32},    {80, 80},    {-1, 0x51},  {-2, 0x52},    {-5, 0x55},
        {-9, 0x59}, {-12, 0x5c}, {-17, 0x61}, {-18, 0x52}, {-1000, 0x52},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(mapLibraryCode(row.library), row.mapped) << row.library;
    }
    EXPECT_EQ(ldapErrorText(0x51), "Can't contact LDAP server");
    EXPECT_EQ(ldapErrorText(0x55), "Timed out");
    EXPECT_EQ(ldapErrorText(32), "No such object");
}

TEST(WindowsErrorText, SystemMessagesWithTheirLineEnd) {
    struct Row {
        std::int32_t code;
        std::string text;
    };
    const std::vector<Row> rows = {
        {5, "Access is denied.\n"},
        {1337, "The security ID structure is invalid.\n"},
        {1705, "The string universal unique identifier (UUID) is invalid.\n"},
        {8240, "There is no such object on the server.\n"},
        {static_cast<std::int32_t>(0x80070005u), "Access is denied.\n"},
        {static_cast<std::int32_t>(0x80072030u), "There is no such object on the server.\n"},
        {static_cast<std::int32_t>(0x8007203Au), "The server is not operational.\n"},
        {static_cast<std::int32_t>(0x800708C5u),
         "The password does not meet the password policy requirements. Check the minimum "
         "password length, password complexity and password history requirements.\n"},
        {static_cast<std::int32_t>(0x80004002u), "No such interface supported\n"},
        {99999, "Unknown Error\n"},
        {-1, "Unknown Error\n"},
        {static_cast<std::int32_t>(0x80040E14u), "Unknown Error\n"},
        // Facility 8 does not hold Win32 codes in its low bits.
        {static_cast<std::int32_t>(0x80080005u), "Unknown Error\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(windowsErrorText(row.code), row.text) << std::hex << row.code;
    }
}

TEST(WindowsErrorText, HresultFromWin32) {
    EXPECT_EQ(static_cast<std::uint32_t>(hresultFromWin32(5)), 0x80070005u);
    EXPECT_EQ(static_cast<std::uint32_t>(hresultFromWin32(2245)), 0x800708C5u);
    EXPECT_EQ(hresultFromWin32(0), 0);
}

TEST(ReportWindowsError, LabelCodeAndSystemTextOnStandardOutput) {
    CapturedConsole captured;
    EXPECT_EQ(reportWindowsError(captured.reporter, "ConvertStringSidToSid: ", 1337), 1337);
    EXPECT_EQ(captured.out(),
              "ConvertStringSidToSid: (1337) The security ID structure is invalid.\n");
    EXPECT_EQ(captured.err(), "");

    CapturedConsole negative;
    const auto code = static_cast<std::int32_t>(0x80070005u);
    EXPECT_EQ(reportWindowsError(negative.reporter, "X", code), code);
    EXPECT_EQ(negative.out(), "X(-2147024891) Access is denied.\n");
}

TEST(ExitStatus, LowByteButAFailureNeverExitsZero) {
    struct Row {
        std::int32_t status;
        int exit;
    };
    const std::vector<Row> rows = {
        {0, 0},
        {1, 1},
        {32, 32},
        {255, 255},
        {-1, 255},
        {-2, 254},
        {256, 255},
        {257, 1},
        {512, 255},
        {static_cast<std::int32_t>(0x800708C5u), 0xC5},
        {static_cast<std::int32_t>(0x80070005u), 5},
        {static_cast<std::int32_t>(0x80005000u), 255},
        {static_cast<std::int32_t>(0x80072030u), 0x30},
        {INT_MIN, 255},
        {INT_MAX, 255},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(processExitStatus(row.status), row.exit) << row.status;
    }
}

}  // namespace
}  // namespace kestrel
