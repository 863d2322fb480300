#include "connection/session_security.h"

#include "locator/server_address.h"
#include "util/secret_memory.h"

namespace kestrel {

BindCredentials::~BindCredentials() {
    wipeText(password);
}

bool BindCredentials::obtainPassword() {
    if (!read_) {
        read_ = true;
        readOk_ = readPassword && readPassword(password);
    }
    return readOk_;
}

int defaultPort(TlsMode mode) {
    return mode == TlsMode::Ldaps ? kDefaultLdapsPort : kDefaultLdapPort;
}

int establishTls(LdapConnection& handle, TlsMode mode) {
    if (mode == TlsMode::None) {
        return 0;
    }
    if (const int rc = handle.connect(); rc != 0) {
        return rc;
    }
    return mode == TlsMode::StartTls ? handle.startTls() : 0;
}

int bindAs(LdapConnection& handle, const BindCredentials* credentials) {
    if (credentials != nullptr) {
        return handle.simpleBind(credentials->dn, credentials->password);
    }
    return handle.negotiateBind();
}

}  // namespace kestrel
