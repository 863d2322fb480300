#include "locator/kerberos_realm.h"

#include <krb5.h>

#include <memory>
#include <type_traits>

namespace kestrel {
namespace {

// The realm of the default cache's principal, or empty.
std::string ticketRealm(krb5_context context) {
    krb5_ccache cache = nullptr;
    if (krb5_cc_default(context, &cache) != 0) {
        return "";
    }
    krb5_principal principal = nullptr;
    std::string realm;
    if (krb5_cc_get_principal(context, cache, &principal) == 0) {
        realm.assign(principal->realm.data, principal->realm.length);
        krb5_free_principal(context, principal);
    }
    krb5_cc_close(context, cache);
    return realm;
}

std::string configuredRealm(krb5_context context) {
    char* raw = nullptr;
    if (krb5_get_default_realm(context, &raw) != 0 || raw == nullptr) {
        return "";
    }
    std::string realm = raw;
    krb5_free_default_realm(context, raw);
    return realm;
}

}  // namespace

std::string callersKerberosRealm() {
    krb5_context raw = nullptr;
    if (krb5_init_context(&raw) != 0) {
        return "";
    }
    const std::unique_ptr<std::remove_pointer_t<krb5_context>, decltype(&krb5_free_context)>
        context(raw, krb5_free_context);
    std::string realm = ticketRealm(context.get());
    return realm.empty() ? configuredRealm(context.get()) : realm;
}

}  // namespace kestrel
