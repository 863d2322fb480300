// The caller's Kerberos realm: the realm of the ticket in the default credential cache
// (KRB5CCNAME), else the default_realm of krb5.conf (KRB5_CONFIG).
#pragma once

#include <string>

namespace kestrel {

// Empty when neither is known.
std::string callersKerberosRealm();

}  // namespace kestrel
