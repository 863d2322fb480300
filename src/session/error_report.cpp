#include "session/error_report.h"

#include "session/ldap_client.h"

namespace kestrel {

void reportLdapError(Reporter& reporter, const std::string& label, const std::string& subject,
                     int code, LdapConnection* handle) {
    const std::string serverError = handle != nullptr ? handle->lastDiagnostic() : "";
    reporter.ldapError(label, subject, code, ldapErrorText(code));
    reporter.serverText(serverError);
}

}  // namespace kestrel
