// How the run's sessions are protected and whom they bind as: the same for the run's own
// session and for the sessions the password step opens to set a password.
#pragma once

#include <functional>
#include <string>

#include "directory/ldap_client.h"

namespace kestrel {

enum class TlsMode {
    None,      // plain LDAP; a SASL layer seals what needs sealing
    Ldaps,     // TLS from the first byte (ldaps://)
    StartTls,  // plain LDAP, then StartTLS before the bind
};

// -binddn: a simple bind as `dn`. The password is asked for only once the bind is known to
// go over TLS, and wiped when this goes.
struct BindCredentials {
    BindCredentials() = default;
    BindCredentials(const BindCredentials&) = delete;
    BindCredentials& operator=(const BindCredentials&) = delete;
    ~BindCredentials();

    std::string dn;
    std::string password;
    // Fills the password (a file's first line, a prompt); false when there is none, the
    // reason already written. Called at most once, through obtainPassword.
    std::function<bool(std::string& password)> readPassword;

    // The password, read on the first call; false when it could not be had.
    bool obtainPassword();

  private:
    bool read_ = false;
    bool readOk_ = false;
};

struct SessionSecurity {
    TlsMode tls = TlsMode::None;
    const BindCredentials* credentials = nullptr;  // none: the caller's Kerberos ticket
};

// The port a server is reached on when none is named.
int defaultPort(TlsMode mode);

// Puts TLS in place on a new handle as `mode` asks, before anything else is sent: connects
// (for ldaps:// that is the handshake) and, for StartTls, sends StartTLS. Nothing for None.
// 0, or the failing step's code.
int establishTls(LdapConnection& handle, TlsMode mode);

// A simple bind with the credentials, or without them the negotiate bind.
int bindAs(LdapConnection& handle, const BindCredentials* credentials);

}  // namespace kestrel
