// The program's LDAP interface over OpenLDAP libldap and Cyrus SASL.
#include <ldap.h>
#include <sasl/sasl.h>
#include <sys/time.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>

#include "connection/libldap_memory.h"
#include "connection/libldap_records.h"
#include "connection/openldap_connection.h"
#include "connection/sigpipe_guard.h"
#include "connection/socket_watchdog.h"
#include "directory/ldap_client.h"

namespace kestrel {
namespace {

// The seam's own names for the library's numbers.
static_assert(kLdapScopeBase == LDAP_SCOPE_BASE);
static_assert(kLdapScopeSubtree == LDAP_SCOPE_SUBTREE);
static_assert(kLdapInvalidDnSyntax == LDAP_INVALID_DN_SYNTAX);

// GSSAPI needs no answers; any prompt gets the mechanism's default so the bind never
// waits on a terminal.
int answerWithDefaults(LDAP*, unsigned, void*, void* interactions) {
    for (auto* interact = static_cast<sasl_interact_t*>(interactions);
         interact->id != SASL_CB_LIST_END; ++interact) {
        const char* answer = interact->defresult != nullptr ? interact->defresult : "";
        interact->result = answer;
        interact->len = static_cast<unsigned>(std::strlen(answer));
    }
    return LDAP_SUCCESS;
}

class OpenLdapConnection final : public LdapConnection {
  public:
    // `ldapsOnly`: every server of the handle is reached over TLS from the first byte.
    OpenLdapConnection(LDAP* ld, bool ldapsOnly) : ld_(ld), ldapsOnly_(ldapsOnly) {
        // Learns the socket once connected, so that a handshake can be bounded.
        callbacks_.lc_add = onConnect;
        callbacks_.lc_del = onClose;
        callbacks_.lc_arg = this;
        ::ldap_set_option(ld_, LDAP_OPT_CONNECT_CB, &callbacks_);
    }
    ~OpenLdapConnection() override {
        const SigpipeGuard guard;
        ldap_unbind_ext_s(ld_, nullptr, nullptr);
    }
    OpenLdapConnection(const OpenLdapConnection&) = delete;
    OpenLdapConnection& operator=(const OpenLdapConnection&) = delete;

    int setOption(int option, int value) override {
        int rc = LDAP_OPT_SUCCESS;
        switch (option) {
            case kLdapOptVersion:
                rc = ::ldap_set_option(ld_, LDAP_OPT_PROTOCOL_VERSION, &value);
                break;
            case kLdapOptReferrals:
                rc = ::ldap_set_option(ld_, LDAP_OPT_REFERRALS,
                                       value != 0 ? LDAP_OPT_ON : LDAP_OPT_OFF);
                break;
            case kLdapOptEncrypt:
                // A minimum of 56 with the library's unlimited maximum: a lower maximum from
                // ldap.conf or LDAPSASL_SECPROPS would otherwise undercut it (GSS-SPNEGO then
                // binds without a layer), and a maximum of 56 makes GSSAPI refuse to bind.
                sealRequired_ = value != 0;
                rc = ::ldap_set_option(ld_, LDAP_OPT_X_SASL_SECPROPS,
                                       value != 0 ? "minssf=56,maxssf=2147483647" : "minssf=0");
                break;
            default:
                return kLdapParamError;
        }
        return rc == LDAP_OPT_SUCCESS ? 0 : mapLibraryCode(rc);
    }

    void setTimeLimit(int seconds) override {
        if (seconds <= 0) {
            return;
        }
        timeLimit_ = seconds;
        timeval limit{seconds, 0};
        ::ldap_set_option(ld_, LDAP_OPT_NETWORK_TIMEOUT, &limit);
        ::ldap_set_option(ld_, LDAP_OPT_TIMEOUT, &limit);
    }

    int connect() override {
        const SigpipeGuard guard;
        // libldap 2.5 bounds the TCP connect, but its TLS handshake blocks for as long as a
        // server that accepted the connection stays silent.
        const SocketWatchdog watchdog(timeLimit_);
        const int rc = ldap_connect(ld_);
        if (watchdog.fired()) {
            return kLdapTimeout;
        }
        if (rc == LDAP_SUCCESS) {
            return 0;
        }
        // A server was reached, so what failed is the handshake (libldap says only that it
        // could not contact one).
        return tcpConnected_ && ldapsOnly_ ? kLdapConnectError : mapLibraryCode(rc);
    }

    int startTls() override {
        const SigpipeGuard guard;
        const SocketWatchdog watchdog(timeLimit_);
        int socket = -1;
        if (ldap_get_option(ld_, LDAP_OPT_DESC, &socket) == LDAP_OPT_SUCCESS && socket >= 0) {
            SocketWatchdog::watch(socket);
        }
        const int rc = ldap_start_tls_s(ld_, nullptr, nullptr);
        if (watchdog.fired()) {
            return kLdapTimeout;
        }
        if (rc == LDAP_SUCCESS && ldap_tls_inplace(ld_) != 0) {
            tlsStarted_ = true;
            return 0;
        }
        return rc == LDAP_SUCCESS ? kLdapConnectError : mapLibraryCode(rc);
    }

    bool usesTls() override { return tlsStarted_ || ldapsOnly_; }

    int negotiateBind() override {
        const SigpipeGuard guard;
        if (usesTls()) {
            // TLS seals the connection; Active Directory refuses a SASL layer inside it.
            ::ldap_set_option(ld_, LDAP_OPT_X_SASL_SECPROPS, "minssf=0,maxssf=0");
        }
        const int rc =
            ldap_sasl_interactive_bind_s(ld_, nullptr, "GSS-SPNEGO GSSAPI", nullptr, nullptr,
                                         LDAP_SASL_QUIET, answerWithDefaults, nullptr);
        if (rc == LDAP_SUCCESS && sealRequired_) {
            // SASL checks the minimum only when it picks a mechanism; check what was agreed.
            ber_len_t strength = 0;
            if (ldap_get_option(ld_, LDAP_OPT_X_SASL_SSF, &strength) != LDAP_OPT_SUCCESS ||
                strength < 56) {
                return LDAP_CONFIDENTIALITY_REQUIRED;
            }
        }
        return mapLibraryCode(rc);
    }

    int simpleBind(const std::string& dn, const std::string& password) override {
        if (!password.empty() && !usesTls()) {
            return kLdapConfidentialityRequired;  // never a password in the clear
        }
        const SigpipeGuard guard;
        berval credentials{password.size(), const_cast<char*>(password.data())};
        const int rc = ldap_sasl_bind_s(ld_, dn.empty() ? nullptr : dn.c_str(), LDAP_SASL_SIMPLE,
                                        &credentials, nullptr, nullptr, nullptr);
        return mapLibraryCode(rc);
    }

    int search(const SearchRequest& request, std::vector<LdapEntry>& entries) override {
        return searchPages(request, [&entries](std::vector<LdapEntry>& page) {
            entries.insert(entries.end(), std::make_move_iterator(page.begin()),
                           std::make_move_iterator(page.end()));
            return 0;
        });
    }

    int searchPages(const SearchRequest& request, const PageSink& sink) override {
        const SigpipeGuard guard;
        std::vector<LdapEntry> page;
        if (request.pageSize <= 0) {
            const int rc = searchOnce(request, request.controls, page, nullptr);
            return rc != 0 ? rc : sink(page);
        }
        // RFC 2696: ask page after page until the server's cookie comes back empty; each
        // page goes to the sink before the next is asked for.
        std::string cookie;
        do {
            berval cookieValue{cookie.size(), cookie.empty() ? nullptr : cookie.data()};
            berval value{0, nullptr};
            if (ldap_create_page_control_value(ld_, request.pageSize, &cookieValue, &value) !=
                LDAP_SUCCESS) {
                return kLdapEncodingError;
            }
            ServerControls controls = request.controls;
            controls.push_back(ServerControl{LDAP_CONTROL_PAGEDRESULTS,
                                             std::string(value.bv_val, value.bv_len), true});
            ber_memfree(value.bv_val);
            cookie.clear();
            page.clear();
            if (const int rc = searchOnce(request, controls, page, &cookie); rc != 0) {
                return rc;
            }
            if (const int rc = sink(page); rc != 0) {
                return rc;
            }
        } while (!cookie.empty());
        return 0;
    }

    int sendSearch(const SearchRequest& request, int& messageId) override {
        const SigpipeGuard guard;
        if (request.pageSize > 0) {
            return kLdapParamError;  // pages are asked for one after another
        }
        std::vector<char*> attributes;
        for (const std::string& name : request.attributes) {
            attributes.push_back(const_cast<char*>(name.c_str()));
        }
        attributes.push_back(nullptr);
        ControlArray controls(request.controls);
        return mapLibraryCode(
            ::ldap_search_ext(ld_, request.base.c_str(), request.scope, request.filter.c_str(),
                              request.attributes.empty() ? nullptr : attributes.data(), 0,
                              controls.get(), nullptr, nullptr, request.sizeLimit, &messageId));
    }

    int searchResult(int messageId, int timeoutSeconds, std::vector<LdapEntry>& entries) override {
        const SigpipeGuard guard;
        MessagePtr result;
        if (const int rc = awaitAnswer(messageId, timeoutSeconds, result, nullptr); rc != 0) {
            return rc;
        }
        for (LDAPMessage* entry = ldap_first_entry(ld_, result.get()); entry != nullptr;
             entry = ldap_next_entry(ld_, entry)) {
            entries.push_back(readEntry(ld_, entry));
        }
        int code = LDAP_SUCCESS;
        if (const int rc =
                ldap_parse_result(ld_, result.get(), &code, nullptr, nullptr, nullptr, nullptr, 0);
            rc != LDAP_SUCCESS) {
            return mapLibraryCode(rc);
        }
        return mapLibraryCode(code);
    }

    int sendDelete(const std::string& dn, const ServerControls& controls, int& messageId) override {
        const SigpipeGuard guard;
        ControlArray array(controls);
        return mapLibraryCode(::ldap_delete_ext(ld_, dn.c_str(), array.get(), nullptr, &messageId));
    }

    int sendRename(const std::string& dn, const std::string& newRdn, const std::string& newParent,
                   bool deleteOldRdn, const ServerControls& controls, int& messageId) override {
        const SigpipeGuard guard;
        ControlArray array(controls);
        return mapLibraryCode(::ldap_rename(
            ld_, dn.c_str(), newRdn.c_str(), newParent.empty() ? nullptr : newParent.c_str(),
            deleteOldRdn ? 1 : 0, array.get(), nullptr, &messageId));
    }

    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override {
        const SigpipeGuard guard;
        ModArray mods(modifications);
        ControlArray array(controls);
        const int rc =
            request == ModificationRequest::Add
                ? ::ldap_add_ext(ld_, dn.c_str(), mods.get(), array.get(), nullptr, &messageId)
                : ::ldap_modify_ext(ld_, dn.c_str(), mods.get(), array.get(), nullptr, &messageId);
        return mapLibraryCode(rc);
    }

    int passwordModify(const std::string& userDn, const std::string& newPassword) override {
        const SigpipeGuard guard;
        berval user{userDn.size(), const_cast<char*>(userDn.data())};
        berval password{newPassword.size(), const_cast<char*>(newPassword.data())};
        berval generated{0, nullptr};
        const int rc = ldap_passwd_s(ld_, &user, nullptr, &password, &generated, nullptr, nullptr);
        if (generated.bv_val != nullptr) {
            ber_memfree(generated.bv_val);
        }
        return mapLibraryCode(rc);
    }

    int waitForResult(int messageId, int timeoutSeconds, std::string& diagnostic,
                      bool& sent) override {
        const SigpipeGuard guard;
        sent = true;  // libldap numbers only a request it has sent
        // The handle keeps the text of an earlier result; a wait that fails without a result
        // of its own (the connection lost) must not report that text as its reason.
        ::ldap_set_option(ld_, LDAP_OPT_DIAGNOSTIC_MESSAGE, nullptr);
        MessagePtr result;
        if (const int rc = awaitAnswer(messageId, timeoutSeconds, result, &diagnostic); rc != 0) {
            return rc;
        }
        int code = LDAP_SUCCESS;
        char* matched = nullptr;
        char* message = nullptr;
        char** referrals = nullptr;
        LDAPControl** controls = nullptr;
        const int rc = ldap_parse_result(ld_, result.get(), &code, &matched, &message, &referrals,
                                         &controls, 0);
        LdapString ownedMatched(matched);
        LdapString ownedMessage(message);
        ReferralsPtr ownedReferrals(referrals);
        ControlsPtr ownedControls(controls);
        if (rc != LDAP_SUCCESS) {
            diagnostic.clear();
            return mapLibraryCode(rc);
        }
        diagnostic = message != nullptr ? message : "";
        if (code == LDAP_REFERRAL && referrals != nullptr) {
            diagnostic += diagnostic.empty() ? "Referral to" : " Referral to";
            for (char** url = referrals; *url != nullptr; ++url) {
                diagnostic += std::string(url == referrals ? " " : ", ") + *url;
            }
        }
        return mapLibraryCode(code);
    }

    std::string lastDiagnostic() override { return optionText(ld_, LDAP_OPT_DIAGNOSTIC_MESSAGE); }

    std::string hostName() override { return optionText(ld_, LDAP_OPT_HOST_NAME); }

  private:
    // Waits for the whole answer to `messageId` into `result`: 0 once it is in, otherwise the
    // failure. Nothing in time is kLdapTimeout, and the request is abandoned rather than left
    // running unseen, except under kPollAndKeep; kPollOnly and kPollAndKeep only poll. With
    // `diagnostic`, a failure leaves the handle's text there (none for a timeout).
    int awaitAnswer(int messageId, int timeoutSeconds, MessagePtr& result,
                    std::string* diagnostic) {
        const bool keep = timeoutSeconds == kPollAndKeep;
        const bool poll = keep || timeoutSeconds == kPollOnly;
        timeval limit{poll ? 0 : timeoutSeconds, 0};
        LDAPMessage* raw = nullptr;
        const int kind = ::ldap_result(ld_, messageId, LDAP_MSG_ALL,
                                       timeoutSeconds > 0 || poll ? &limit : nullptr, &raw);
        result.reset(raw);
        if (kind == 0) {
            if (!keep) {
                ldap_abandon_ext(ld_, messageId, nullptr, nullptr);
            }
            if (diagnostic != nullptr) {
                diagnostic->clear();
            }
            return kLdapTimeout;
        }
        if (kind == -1 || !result) {
            int code = LDAP_OTHER;
            ldap_get_option(ld_, LDAP_OPT_RESULT_CODE, &code);
            if (diagnostic != nullptr) {
                *diagnostic = lastDiagnostic();
            }
            const int mapped = mapLibraryCode(code);
            return mapped != 0 ? mapped : kLdapLocalError;
        }
        return 0;
    }

    // One search request; with `cookie`, the paged results cookie of the answer (empty
    // when it was the last page, or when the server sent no paging control).
    int searchOnce(const SearchRequest& request, const ServerControls& requestControls,
                   std::vector<LdapEntry>& entries, std::string* cookie) {
        std::vector<char*> attributes;
        for (const std::string& name : request.attributes) {
            attributes.push_back(const_cast<char*>(name.c_str()));
        }
        attributes.push_back(nullptr);
        ControlArray controls(requestControls);
        LDAPMessage* raw = nullptr;
        const int rc =
            ::ldap_search_ext_s(ld_, request.base.c_str(), request.scope, request.filter.c_str(),
                                request.attributes.empty() ? nullptr : attributes.data(), 0,
                                controls.get(), nullptr, nullptr, request.sizeLimit, &raw);
        MessagePtr result(raw);
        if (rc != LDAP_SUCCESS) {
            return mapLibraryCode(rc);
        }
        for (LDAPMessage* entry = ldap_first_entry(ld_, result.get()); entry != nullptr;
             entry = ldap_next_entry(ld_, entry)) {
            entries.push_back(readEntry(ld_, entry));
        }
        if (cookie == nullptr) {
            return 0;
        }
        LDAPControl** rawControls = nullptr;
        int code = 0;
        if (ldap_parse_result(ld_, result.get(), &code, nullptr, nullptr, nullptr, &rawControls,
                              0) != LDAP_SUCCESS) {
            return kLdapDecodingError;
        }
        ControlsPtr answerControls(rawControls);
        LDAPControl* page = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, rawControls, nullptr);
        if (page == nullptr) {
            return 0;
        }
        ber_int_t estimate = 0;
        berval next{0, nullptr};
        if (ldap_parse_pageresponse_control(ld_, page, &estimate, &next) != LDAP_SUCCESS) {
            return kLdapDecodingError;
        }
        if (next.bv_val != nullptr) {
            cookie->assign(next.bv_val, next.bv_len);
            ber_memfree(next.bv_val);
        }
        return 0;
    }

    static int onConnect(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*, ldap_conncb* context) {
        auto* self = static_cast<OpenLdapConnection*>(context->lc_arg);
        self->tcpConnected_ = true;
        ber_socket_t socket = -1;
        if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &socket) == 1 && socket >= 0 &&
            !SocketWatchdog::watch(socket)) {
            return -1;  // the time ran out while connecting
        }
        return 0;
    }
    static void onClose(LDAP*, Sockbuf*, ldap_conncb*) {}

    LDAP* ld_;
    bool ldapsOnly_;
    bool sealRequired_ = false;
    bool tlsStarted_ = false;
    bool tcpConnected_ = false;
    int timeLimit_ = 0;
    ldap_conncb callbacks_{};
};

}  // namespace

std::string optionText(LDAP* ld, int option) {
    char* raw = nullptr;
    if (ldap_get_option(ld, option, &raw) != LDAP_OPT_SUCCESS || raw == nullptr) {
        return "";
    }
    LdapString owned(raw);
    return owned.get();
}

std::unique_ptr<LdapConnection> openLdapConnection(LDAP* ld, bool ldapsOnly) {
    return std::make_unique<OpenLdapConnection>(ld, ldapsOnly);
}

const std::vector<std::string>* LdapEntry::values(const std::string& name) const {
    for (const LdapAttribute& attribute : attributes) {
        if (strcasecmp(attribute.name.c_str(), name.c_str()) == 0) {
            return &attribute.values;
        }
    }
    return nullptr;
}

}  // namespace kestrel
