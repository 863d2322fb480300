// "#setpwd#" over LDAP: each password in an operation of its own, on a sealed session
// apart from the run's.
#pragma once

#include "connection/session_security.h"
#include "directory/ldap_client.h"
#include "password/password_setter.h"

namespace kestrel {

class LdapPasswordSetter final : public PasswordSetter {
  public:
    // `timeLimitSeconds` bounds connecting, the bind and every request of the sessions this
    // setter opens (0 or less: no limit). `security` (none: plain LDAP, the caller's ticket)
    // is the run's: its sessions are protected and bound as the run's own, and it is read
    // when each one opens, so the run may fill it in once its own session is open.
    LdapPasswordSetter(LdapLibrary& library, int timeLimitSeconds,
                       const SessionSecurity* security = nullptr)
        : library_(library), timeLimitSeconds_(timeLimitSeconds), security_(security) {}

    // Opens a session to `serverName` (port 389 unless it names one; 636 for ldaps), requires
    // a sealing layer (TLS, or without TLS a SASL layer), binds as the run does (the caller's
    // Kerberos ticket, or -binddn's credentials), learns from the RootDSE whether the
    // server is Active Directory style and reads the target, which must be a user. Then
    // replaces unicodePwd there, or sends the password modify operation (RFC 3062) to any
    // other server, and closes the session. A failure to reach the user is reported as
    // ADsGetObject's, a refused change as SetPassword's, each with its HRESULT.
    std::int32_t setPassword(Reporter& reporter, const std::string& serverName,
                             const std::string& dn, const std::string& password) override;

  private:
    LdapLibrary& library_;
    int timeLimitSeconds_;
    const SessionSecurity* security_;
    bool announced_ = false;
};

}  // namespace kestrel
