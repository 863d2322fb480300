// The statuses a password change ends with (HRESULTs, as scripts compare them) and the
// texts its reports show for them. Computing only: nothing here writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

// The HRESULT of an LDAP result code, through the Win32 code the platform's directory
// client maps it to (classic C-API values, client codes 0x51..0x61 included). A constraint
// violation whose server text starts with the Win32 code 0x52D (ERROR_PASSWORD_RESTRICTION,
// as Active Directory and Samba prefix password-policy refusals) is the policy error 2245.
// Codes without a mapping give ERROR_DS_GENERIC_ERROR; 0 stays 0.
std::int32_t hresultFromLdap(int ldapCode, std::string_view diagnostic);

struct StatusText {
    std::string note;  // "adsi error\n" for codes that look like directory-object ones
    std::string text;  // after the code on the report line; a system message ends the line
};

// The texts of a status: a directory-object name (empty for a code without one), a
// system message, or "Unknown Error: 0x<hex>".
StatusText statusText(std::int32_t status);

}  // namespace kestrel
