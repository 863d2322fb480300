// How the directory-object layer reports LDAP failures: as the Win32 code the platform's
// directory client maps each LDAP result to, wrapped in an HRESULT.
#pragma once

#include <cstdint>
#include <string_view>

#include "password/hresult.h"

namespace kestrel {

inline constexpr std::uint32_t kErrorPasswordPolicy = 2245;  // NERR_PasswordTooShort
inline constexpr std::uint32_t kErrorDsGenericError = 8341;

// The Win32 code of an LDAP result code (classic C-API values, client codes 0x51..0x61
// included). A constraint violation whose server text starts with the Win32 code 0x52D
// (ERROR_PASSWORD_RESTRICTION, as Active Directory and Samba prefix password-policy
// refusals) is the password-policy error 2245. Codes without a mapping give
// ERROR_DS_GENERIC_ERROR; 0 stays 0.
std::uint32_t ldapErrorToWin32(int ldapCode, std::string_view diagnostic);

// HRESULT_FROM_WIN32 of ldapErrorToWin32.
HRESULT hresultFromLdap(int ldapCode, std::string_view diagnostic);

}  // namespace kestrel
