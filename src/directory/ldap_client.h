// The program's LDAP interface: the calls the directory code makes, behind a narrow
// seam so that unit tests can put a recording fake where libldap normally stands.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrel {

// libldap reports client-side failures as negative codes. They are mapped to the
// classic C-API values so every code a user sees, and every exit status, is positive.
inline constexpr int kLdapServerDown = 0x51;
inline constexpr int kLdapLocalError = 0x52;
inline constexpr int kLdapEncodingError = 0x53;
inline constexpr int kLdapDecodingError = 0x54;
inline constexpr int kLdapTimeout = 0x55;
inline constexpr int kLdapAuthUnknown = 0x56;
inline constexpr int kLdapParamError = 0x59;
inline constexpr int kLdapNoMemory = 0x5a;
inline constexpr int kLdapConnectError = 0x5b;
inline constexpr int kLdapNotSupported = 0x5c;
inline constexpr int kLdapNoResultsReturned = 0x5e;

// True for the codes libldap gives when no answer came (the connection lost, the time up, an
// answer it could not read): the server may or may not have carried the request out.
inline constexpr bool outcomeUnknown(int code) {
    return code >= kLdapServerDown && code <= 0x61;
}

// What became of one request, as the run tells it everywhere: the target's lines, -json and
// the undo journal.
enum class RequestFate {
    Done,
    Failed,   // the server answered that it refused the request
    Unknown,  // sent, and no answer came: it may or may not have been applied
    NotSent,  // it never left, so it changed nothing
};

// The one rule. A request that never left changed nothing, whatever its code says.
inline constexpr RequestFate requestFate(bool sent, int code) {
    if (code == 0) {
        return RequestFate::Done;
    }
    if (!sent) {
        return RequestFate::NotSent;
    }
    return outcomeUnknown(code) ? RequestFate::Unknown : RequestFate::Failed;
}

// The server's code for a bad DN, also given to a target refused before anything is sent.
inline constexpr int kLdapInvalidDnSyntax = 0x22;

// A tree delete the server cut short at its limit of objects per request: it may be sent
// again.
inline constexpr int kLdapAdminLimitExceeded = 0x0b;
inline constexpr int kLdapNoSuchObject = 0x20;

// A simple bind that would send a password without TLS is refused with this code.
inline constexpr int kLdapConfidentialityRequired = 0x0d;

// How a server is reached: plain LDAP (TLS may follow through StartTLS), or TLS from the
// first byte.
enum class UrlScheme { Ldap, Ldaps };

// Controls and RootDSE capabilities, by OID.
inline constexpr const char* kTreeDeleteOid = "1.2.840.113556.1.4.805";
inline constexpr const char* kShowDeletedOid = "1.2.840.113556.1.4.417";
// Adding a value already there, or deleting one that is not, succeeds.
inline constexpr const char* kPermissiveModifyOid = "1.2.840.113556.1.4.1413";
inline constexpr const char* kCapActiveDirectoryOid = "1.2.840.113556.1.4.800";
inline constexpr const char* kCapLdapIntegrationOid = "1.2.840.113556.1.4.1791";
inline constexpr const char* kCapWindows2003Oid = "1.2.840.113556.1.4.1670";
inline constexpr const char* kCapApplicationModeOid = "1.2.840.113556.1.4.1851";

inline constexpr int kLdapScopeBase = 0;     // the named entry only
inline constexpr int kLdapScopeSubtree = 2;  // the named entry and all below it

// A wait for a result with no time left: only an answer already in counts, otherwise the
// request is abandoned with kLdapTimeout (0 or less would mean no limit at all).
inline constexpr int kPollOnly = -2147483647 - 1;
// For searchResult only: an answer already in counts; without one kLdapTimeout, and the
// search stays outstanding to be asked for again.
inline constexpr int kPollAndKeep = kPollOnly + 1;

// What is left of a wait limited to `limitSeconds` after `elapsedMs` of it went by, as a
// wait on the seam takes it: whole seconds rounded up, or kPollOnly once nothing is left.
// No limit (0 or less) and kPollAndKeep stay as they are.
inline constexpr int secondsLeft(int limitSeconds, long long elapsedMs) {
    if (limitSeconds <= 0 || limitSeconds == kPollAndKeep) {
        return limitSeconds;
    }
    const long long leftMs = static_cast<long long>(limitSeconds) * 1000 - elapsedMs;
    return leftMs <= 0 ? kPollOnly : static_cast<int>((leftMs + 999) / 1000);
}

// Option numbers as the classic C API numbers them.
inline constexpr int kLdapOptReferrals = 0x08;
inline constexpr int kLdapOptVersion = 0x11;
inline constexpr int kLdapOptEncrypt = 0x96;  // require a sealing (confidentiality) layer

// Maps a libldap result code (negative for client-side failures) to the classic value.
int mapLibraryCode(int libraryCode);

// The text of a (mapped) result code: libldap's text for the original code.
std::string ldapErrorText(int code);

struct ServerControl {
    std::string oid;
    std::string value;  // empty: the control carries no value
    bool critical = false;
};
using ServerControls = std::vector<ServerControl>;

// Carried by a modify, adding a value already there or deleting one that is not succeeds.
// Not critical: a server without it fails such a value as before, nothing worse.
inline ServerControl permissiveModifyControl() {
    return ServerControl{kPermissiveModifyOid, "", false};
}

inline bool hasControl(const ServerControls& controls, const std::string& oid) {
    for (const ServerControl& control : controls) {
        if (control.oid == oid) {
            return true;
        }
    }
    return false;
}

enum class ModOperation { Add, Delete, Replace };

// One change to one attribute of a modify request, or one attribute of an add request
// (always Add there). The values are bytes.
struct Modification {
    ModOperation operation = ModOperation::Add;
    std::string attribute;
    // Empty: an add or replace with no values; for a delete, the whole attribute goes.
    std::vector<std::string> values;
    // Sent length-counted. Text values go as C strings, ending at a zero byte.
    bool binary = false;
};

enum class ModificationRequest { Modify, Add };

// One attribute of a search entry with all its values (binary-safe).
struct LdapAttribute {
    std::string name;
    std::vector<std::string> values;
};

struct LdapEntry {
    std::string dn;
    std::vector<LdapAttribute> attributes;

    // The values of an attribute (names compare without regard to case), or nothing.
    const std::vector<std::string>* values(const std::string& name) const;
};

struct SearchRequest {
    std::string base;  // empty: the RootDSE
    int scope = kLdapScopeBase;
    std::string filter = "(objectClass=*)";
    std::vector<std::string> attributes;  // empty: all user attributes
    ServerControls controls;
    int sizeLimit = 0;  // 0: no limit
    // Above 0: read with the paged results control (RFC 2696), this many entries a page,
    // every page: a Windows DC cuts an unpaged search at MaxPageSize entries.
    int pageSize = 0;
};

// Takes one page of a search's entries as it arrives; a non-zero code stops the search with
// that code.
using PageSink = std::function<int(std::vector<LdapEntry>& page)>;

// One open LDAP handle. Sends requests asynchronously and waits for their results.
class LdapConnection {
  public:
    virtual ~LdapConnection() = default;

    // kLdapOptVersion (value 3), kLdapOptReferrals (0 off, 1 on), kLdapOptEncrypt (1 on).
    virtual int setOption(int option, int value) = 0;

    // Bounds connecting (a TLS handshake included) and every synchronous call (the bind,
    // searches) to `seconds`; 0 or less leaves them unbounded.
    virtual void setTimeLimit(int seconds) = 0;

    // Opens the connection now rather than with the first request: for an ldaps:// server
    // this is the TLS handshake. kLdapServerDown when no server could be reached,
    // kLdapConnectError when one was but the handshake failed, kLdapTimeout when the time
    // limit passed first.
    virtual int connect() = 0;
    // StartTLS (RFC 4513) on the open plain connection: the server's code when it refuses,
    // kLdapConnectError when the handshake fails, kLdapTimeout when the time limit passes.
    virtual int startTls() = 0;
    // True when everything this handle sends is inside TLS: its servers are all ldaps://, or
    // StartTLS succeeded. A bind over TLS asks for no SASL security layer of its own (Active
    // Directory refuses one inside TLS): TLS is the seal.
    virtual bool usesTls() = 0;

    // Binds with the caller's current Kerberos credentials (SASL GSS-SPNEGO, then GSSAPI).
    virtual int negotiateBind() = 0;
    // A password is sent only when usesTls(); otherwise kLdapConfidentialityRequired and
    // nothing is sent.
    virtual int simpleBind(const std::string& dn, const std::string& password) = 0;

    virtual int search(const SearchRequest& request, std::vector<LdapEntry>& entries) = 0;
    // The entries of `request` handed to `page` as they arrive, a page at a time when it is
    // paged, so that a large subtree is never held whole; without paging, one page.
    virtual int searchPages(const SearchRequest& request, const PageSink& page) {
        std::vector<LdapEntry> entries;
        const int rc = search(request, entries);
        return rc != 0 ? rc : page(entries);
    }

    // A search sent without waiting (no paging): a send code, and on success a message
    // number for searchResult.
    virtual int sendSearch(const SearchRequest& request, int& messageId) = 0;
    // The entries and the code of a search sent with sendSearch; the time limit as for
    // waitForResult, or kPollAndKeep.
    virtual int searchResult(int messageId, int timeoutSeconds,
                             std::vector<LdapEntry>& entries) = 0;

    // The asynchronous requests: a send code, and on success a message number.
    virtual int sendDelete(const std::string& dn, const ServerControls& controls,
                           int& messageId) = 0;
    virtual int sendRename(const std::string& dn, const std::string& newRdn,
                           const std::string& newParent, bool deleteOldRdn,
                           const ServerControls& controls, int& messageId) = 0;
    // A modify request carrying `modifications` in order, or an add request creating `dn`
    // with them as its attributes.
    virtual int sendModifications(ModificationRequest request, const std::string& dn,
                                  std::span<const Modification> modifications,
                                  const ServerControls& controls, int& messageId) = 0;

    // RFC 3062 password modify; the user is named by DN.
    virtual int passwordModify(const std::string& userDn, const std::string& newPassword) = 0;

    // Waits for the result of one request. A time limit of 0 or less waits without limit;
    // when the limit passes the request is abandoned and kLdapTimeout returned. On a
    // non-zero code `diagnostic` receives the server's text (empty when it sent none), and
    // for a referral also the URLs it names, so that the caller can go there deliberately.
    // `sent` is false when the request never left: a wrapper that holds writes back (the
    // undo journal's) answers for one it could not send. With code 0 it means that no write
    // was needed (a bit change whose bits were already as asked).
    virtual int waitForResult(int messageId, int timeoutSeconds, std::string& diagnostic,
                              bool& sent) = 0;

    // The diagnostic text the library holds for the last operation on this handle.
    virtual std::string lastDiagnostic() = 0;

    // The host this handle talks to (the library's default server when none was named).
    virtual std::string hostName() = 0;
};

// Creates handles. The real one wraps libldap; tests supply a fake.
class LdapLibrary {
  public:
    virtual ~LdapLibrary() = default;

    // A handle for host:port in `scheme`. No host means the library's configured default
    // server(s), on their own port or, when one is given, on that port with their own scheme
    // (`scheme` applies to a named host only). A port outside 1..65535 is refused with
    // kLdapParamError; on failure returns nothing and sets `error`. Referrals are never
    // chased on the handle: a chased request would go, unbound and unsealed, to whatever
    // server the referral names. Nothing is sent before the first request or connect().
    virtual std::unique_ptr<LdapConnection> openHandle(const std::optional<std::string>& host,
                                                       std::optional<int> port, UrlScheme scheme,
                                                       int& error) = 0;
    // Plain LDAP.
    std::unique_ptr<LdapConnection> openHandle(const std::optional<std::string>& host,
                                               std::optional<int> port, int& error) {
        return openHandle(host, port, UrlScheme::Ldap, error);
    }
};

}  // namespace kestrel
