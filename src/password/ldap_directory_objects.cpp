#include "password/ldap_directory_objects.h"

#include <strings.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "password/ads_path.h"
#include "password/ldap_win32_error.h"
#include "password/wide_text.h"
#include "util/windows_error_text.h"

namespace kestrel {
namespace {

// RootDSE supportedCapabilities value of Active Directory style servers
// (LDAP_CAP_ACTIVE_DIRECTORY_OID).
constexpr const char* kActiveDirectoryCapability = "1.2.840.113556.1.4.800";
constexpr int kLdapNoSuchObject = 0x20;
constexpr std::uint32_t kErrorNoUnicodeTranslation = 1113;

// Active Directory names one class for its users (and their subclass, computer). Other
// servers use the standard person classes and the account classes of RFC 2307.
constexpr std::array kActiveDirectoryUserClasses{"user"};
constexpr std::array kStandardUserClasses{
    "user",         "person",        "organizationalPerson", "inetOrgPerson",
    "posixAccount", "shadowAccount", "simpleSecurityObject"};

bool hasValue(const LdapEntry& entry, const char* attribute, const char* wanted) {
    const std::vector<std::string>* values = entry.values(attribute);
    if (values == nullptr) {
        return false;
    }
    for (const std::string& value : *values) {
        if (strcasecmp(value.c_str(), wanted) == 0) {
            return true;
        }
    }
    return false;
}

template <typename Classes>
bool hasAnyClass(const LdapEntry& entry, const Classes& classes) {
    for (const char* objectClass : classes) {
        if (hasValue(entry, "objectClass", objectClass)) {
            return true;
        }
    }
    return false;
}

class LdapUser final : public IADsUser {
  public:
    LdapUser(std::unique_ptr<LdapConnection> connection, std::string dn, bool activeDirectory,
             int timeLimitSeconds)
        : connection_(std::move(connection)),
          dn_(std::move(dn)),
          activeDirectory_(activeDirectory),
          timeLimitSeconds_(timeLimitSeconds) {}

    HRESULT SetPassword(std::u16string_view password) override {
        if (!connection_) {
            return E_ADS_OBJECT_UNBOUND;
        }
        return activeDirectory_ ? replaceUnicodePwd(password) : passwordModify(password);
    }

    std::uint32_t Release() override {
        connection_.reset();  // unbinds
        return 0;
    }

  private:
    // An administrator's reset on an Active Directory style server: one replace of
    // unicodePwd with the password in double quotes, UTF-16LE.
    HRESULT replaceUnicodePwd(std::u16string_view password) {
        std::u16string quoted = u"\"";
        quoted += password;
        quoted += u'"';
        std::string bytes = wideToUtf16le(quoted);
        std::string type = "unicodePwd";
        berval value{bytes.size(), bytes.data()};
        std::array<berval*, 2> values{&value, nullptr};
        LDAPMod mod{};
        mod.mod_op = LDAP_MOD_REPLACE | LDAP_MOD_BVALUES;
        mod.mod_type = type.data();
        mod.mod_bvalues = values.data();
        std::array<LDAPMod*, 2> mods{&mod, nullptr};

        int messageId = 0;
        std::string diagnostic;
        int rc = connection_->ldap_modify_ext(dn_, mods.data(), {}, messageId);
        if (rc == 0) {
            rc = connection_->ldap_result(messageId, timeLimitSeconds_, diagnostic);
        } else {
            diagnostic = connection_->lastDiagnostic();
        }
        return hresultFromLdap(rc, diagnostic);
    }

    // Any other LDAP server: the password modify extended operation (RFC 3062), UTF-8.
    HRESULT passwordModify(std::u16string_view password) {
        const std::optional<std::string> utf8 = wideToUtf8(password);
        if (!utf8) {
            return hresultFromWin32(kErrorNoUnicodeTranslation);
        }
        const int rc = connection_->passwordModify(dn_, *utf8);
        return hresultFromLdap(rc, rc != 0 ? connection_->lastDiagnostic() : std::string());
    }

    std::unique_ptr<LdapConnection> connection_;
    std::string dn_;
    bool activeDirectory_;
    int timeLimitSeconds_;
};

}  // namespace

HRESULT LdapDirectoryObjects::CoInitializeEx(void* reserved, std::uint32_t coInit) {
    if (reserved != nullptr ||
        (coInit != COINIT_APARTMENTTHREADED && coInit != COINIT_MULTITHREADED)) {
        return E_INVALIDARG;
    }
    initialised_ = true;
    return S_OK;
}

HRESULT LdapDirectoryObjects::ADsGetObject(std::u16string_view path, const InterfaceId& iid,
                                           std::unique_ptr<IADsUser>& object) {
    object.reset();
    if (!initialised_) {
        return CO_E_NOTINITIALIZED;
    }
    if (iid != IID_IADsUser) {
        return E_NOINTERFACE;
    }
    const std::optional<AdsPath> parsed = parseAdsPath(path);
    if (!parsed) {
        return E_ADS_BAD_PATHNAME;
    }

    int initError = 0;
    std::unique_ptr<LdapConnection> connection =
        library_.ldap_init(parsed->host, parsed->port, initError);
    if (!connection) {
        return hresultFromLdap(initError != 0 ? initError : kLdapLocalError, {});
    }
    connection->setTimeLimit(timeLimitSeconds_);
    // A password will travel on this session: it must be sealed whatever the run's own
    // switches say (some servers accept a password over an integrity-only layer, so only
    // the client can guarantee this), and it must never follow a referral elsewhere.
    constexpr std::array<std::pair<int, int>, 3> kOptions{
        {{kLdapOptVersion, 3}, {kLdapOptReferrals, 0}, {kLdapOptEncrypt, 1}}};
    for (const auto& [option, value] : kOptions) {
        if (const int rc = connection->ldap_set_option(option, value); rc != 0) {
            return hresultFromLdap(rc, {});
        }
    }
    if (const int rc = connection->negotiateBind(); rc != 0) {
        return hresultFromLdap(rc, connection->lastDiagnostic());
    }

    SearchRequest rootDseRequest;
    rootDseRequest.attributes = {"supportedCapabilities"};
    std::vector<LdapEntry> rootDse;
    if (const int rc = connection->ldap_search_ext_s(rootDseRequest, rootDse); rc != 0) {
        return hresultFromLdap(rc, connection->lastDiagnostic());
    }
    const bool activeDirectory =
        !rootDse.empty() &&
        hasValue(rootDse.front(), "supportedCapabilities", kActiveDirectoryCapability);

    SearchRequest objectRequest;
    objectRequest.base = parsed->dn;
    objectRequest.attributes = {"objectClass"};
    std::vector<LdapEntry> entries;
    if (const int rc = connection->ldap_search_ext_s(objectRequest, entries); rc != 0) {
        return hresultFromLdap(rc, connection->lastDiagnostic());
    }
    if (entries.empty()) {
        return hresultFromLdap(kLdapNoSuchObject, {});
    }
    const bool isUser = activeDirectory ? hasAnyClass(entries.front(), kActiveDirectoryUserClasses)
                                        : hasAnyClass(entries.front(), kStandardUserClasses);
    if (!isUser) {
        return E_NOINTERFACE;
    }
    object = std::make_unique<LdapUser>(std::move(connection), parsed->dn, activeDirectory,
                                        timeLimitSeconds_);
    return S_OK;
}

}  // namespace kestrel
