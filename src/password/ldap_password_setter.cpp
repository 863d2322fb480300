#include "password/ldap_password_setter.h"

#include <strings.h>

#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "locator/server_address.h"
#include "password/password_status.h"
#include "util/hex_text.h"
#include "util/text_encoding.h"
#include "util/windows_error_text.h"

namespace kestrel {
namespace {

constexpr std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002u);  // E_NOINTERFACE
constexpr std::int32_t kBadPathname = static_cast<std::int32_t>(0x80005000u);  // E_ADS_BAD_PATHNAME
constexpr std::uint32_t kErrorNoUnicodeTranslation = 1113;
constexpr int kLdapNoSuchObject = 0x20;

// Active Directory names one class for its users (and their subclass, computer). Other
// servers use the standard person classes and the account classes of RFC 2307.
constexpr std::array<const char*, 1> kActiveDirectoryUserClasses{"user"};
constexpr std::array<const char*, 7> kStandardUserClasses{
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

template <std::size_t N>
bool hasAnyClass(const LdapEntry& entry, const std::array<const char*, N>& classes) {
    for (const char* objectClass : classes) {
        if (hasValue(entry, "objectClass", objectClass)) {
            return true;
        }
    }
    return false;
}

// A user reached: its session, bound and sealed, and how its server takes passwords.
struct BoundUser {
    std::unique_ptr<LdapConnection> connection;
    std::string dn;  // UTF-8
    bool activeDirectory = false;
};

// A session to `address`, sealed and bound as the run's, into `connection`; a status.
std::int32_t openSealedSession(LdapLibrary& library, int timeLimitSeconds,
                               const SessionSecurity& security, const ServerAddress& address,
                               std::unique_ptr<LdapConnection>& connection) {
    int initError = 0;
    const UrlScheme scheme = security.tls == TlsMode::Ldaps ? UrlScheme::Ldaps : UrlScheme::Ldap;
    connection = library.openHandle(address.host,
                                    address.port != 0 ? address.port : defaultPort(security.tls),
                                    scheme, initError);
    if (!connection) {
        return hresultFromLdap(initError != 0 ? initError : kLdapLocalError, {});
    }
    connection->setTimeLimit(timeLimitSeconds);
    // A password will travel on this session: it must be sealed whatever the run's own
    // switches say (some servers accept a password over an integrity-only layer, so only
    // the client can guarantee this; the bind fails when the layer agreed is weaker), and
    // it must never follow a referral elsewhere. TLS seals it when the run uses TLS, and
    // then no SASL layer may be asked for (Active Directory refuses one inside TLS).
    const bool sealedByTls = security.tls != TlsMode::None;
    constexpr std::array<std::pair<int, int>, 3> kOptions{
        {{kLdapOptVersion, 3}, {kLdapOptReferrals, 0}, {kLdapOptEncrypt, 1}}};
    for (const auto& [option, value] : kOptions) {
        if (option == kLdapOptEncrypt && sealedByTls) {
            continue;
        }
        if (const int rc = connection->setOption(option, value); rc != 0) {
            return hresultFromLdap(rc, {});
        }
    }
    if (const int rc = establishTls(*connection, security.tls); rc != 0) {
        return hresultFromLdap(rc, connection->lastDiagnostic());
    }
    if (sealedByTls && !connection->usesTls()) {
        return hresultFromLdap(kLdapConfidentialityRequired, {});
    }
    if (const int rc = bindAs(*connection, security.credentials); rc != 0) {
        return hresultFromLdap(rc, connection->lastDiagnostic());
    }
    return 0;
}

// Whether the server says, in its RootDSE, that it is Active Directory style; a status.
std::int32_t readActiveDirectory(LdapConnection& connection, bool& activeDirectory) {
    SearchRequest request;
    request.attributes = {"supportedCapabilities"};
    std::vector<LdapEntry> rootDse;
    if (const int rc = connection.search(request, rootDse); rc != 0) {
        return hresultFromLdap(rc, connection.lastDiagnostic());
    }
    activeDirectory = !rootDse.empty() &&
                      hasValue(rootDse.front(), "supportedCapabilities", kCapActiveDirectoryOid);
    return 0;
}

// 0 when the object at the user's DN is a user by its server's classes, else a status.
std::int32_t checkIsUser(const BoundUser& user) {
    SearchRequest request;
    request.base = user.dn;
    request.attributes = {"objectClass"};
    std::vector<LdapEntry> entries;
    if (const int rc = user.connection->search(request, entries); rc != 0) {
        return hresultFromLdap(rc, user.connection->lastDiagnostic());
    }
    if (entries.empty()) {
        return hresultFromLdap(kLdapNoSuchObject, {});
    }
    const bool isUser = user.activeDirectory
                            ? hasAnyClass(entries.front(), kActiveDirectoryUserClasses)
                            : hasAnyClass(entries.front(), kStandardUserClasses);
    return isUser ? 0 : kNoInterface;
}

// The user at `dn` on `serverName`, reached over a sealed session of its own; a status.
std::int32_t bindUser(LdapLibrary& library, int timeLimitSeconds, const SessionSecurity& security,
                      const std::string& serverName, const std::string& dn, BoundUser& user) {
    const ServerAddress address = parseServerText(serverName);
    std::optional<std::string> utf8Dn = localeToUtf8(dn);
    if (!address.valid || !utf8Dn || utf8Dn->empty()) {
        return kBadPathname;
    }
    user.dn = std::move(*utf8Dn);
    if (const std::int32_t status =
            openSealedSession(library, timeLimitSeconds, security, address, user.connection);
        status != 0) {
        return status;
    }
    if (const std::int32_t status = readActiveDirectory(*user.connection, user.activeDirectory);
        status != 0) {
        return status;
    }
    return checkIsUser(user);
}

// An administrator's reset on an Active Directory style server: one replace of unicodePwd
// with the password in double quotes, UTF-16LE.
std::int32_t replaceUnicodePwd(BoundUser& user, const std::string& password, int timeLimitSeconds) {
    const std::optional<std::string> quoted = quotedUtf16le(password, Quotes::Add);
    if (!quoted) {
        return hresultFromWin32(kErrorNoUnicodeTranslation);
    }
    const Modification replace{ModOperation::Replace, "unicodePwd", {*quoted}, true};

    int messageId = 0;
    std::string diagnostic;
    int rc = user.connection->sendModifications(ModificationRequest::Modify, user.dn, {&replace, 1},
                                                {}, messageId);
    if (rc == 0) {
        bool sent = true;  // a session of its own: nothing holds the request back
        rc = user.connection->waitForResult(messageId, timeLimitSeconds, diagnostic, sent);
    } else {
        diagnostic = user.connection->lastDiagnostic();
    }
    return hresultFromLdap(rc, diagnostic);
}

// Any other LDAP server: the password modify extended operation (RFC 3062), UTF-8.
std::int32_t passwordModify(BoundUser& user, const std::string& password) {
    const std::optional<std::string> utf8 = localeToUtf8(password);
    if (!utf8) {
        return hresultFromWin32(kErrorNoUnicodeTranslation);
    }
    const int rc = user.connection->passwordModify(user.dn, *utf8);
    return hresultFromLdap(rc, rc != 0 ? user.connection->lastDiagnostic() : std::string());
}

// " - ERROR: (<step>) (0x<hex>) <text>" on standard error, after the "adsi error" note on
// standard output for directory-object codes. Every report ends its line.
std::int32_t reportFailure(Reporter& reporter, const char* step, std::int32_t status) {
    const StatusText text = statusText(status);
    reporter.notice(text.note);
    std::string line = std::string(" - ERROR: (") + step + ") (0x" +
                       lowerHex(static_cast<std::uint32_t>(status)) + ") " + text.text;
    if (line.back() != '\n') {
        line += '\n';
    }
    reporter.problem(line);
    return status;
}

}  // namespace

std::int32_t LdapPasswordSetter::setPassword(Reporter& reporter, const std::string& serverName,
                                             const std::string& dn, const std::string& password) {
    if (!announced_) {
        // Debug output marks once per run where the password work starts.
        reporter.trace("DEBUG: COM Initialized.\n");
        announced_ = true;
    }
    BoundUser user;  // its session closes on every way out
    const SessionSecurity plain;
    if (const std::int32_t status =
            bindUser(library_, timeLimitSeconds_, security_ != nullptr ? *security_ : plain,
                     serverName, dn, user);
        status != 0) {
        return reportFailure(reporter, "ADsGetObject", status);
    }
    const std::int32_t status = user.activeDirectory
                                    ? replaceUnicodePwd(user, password, timeLimitSeconds_)
                                    : passwordModify(user, password);
    return status != 0 ? reportFailure(reporter, "SetPassword", status) : 0;
}

}  // namespace kestrel
