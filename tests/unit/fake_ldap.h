// A recording fake of the program's LDAP interface, a fake password setter and a reporter
// that captures both streams, for the unit tests of the directory session, the per-target
// loop, the operations and the driver.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "connection/ldap_session.h"
#include "directory/ldap_client.h"
#include "locator/dc_locator.h"
#include "password/password_setter.h"
#include "util/hex_text.h"
#include "util/reporter.h"

namespace kestrel::fake {

// "0x2 description [Hello]": the operation as libldap numbers it (binary values add 0x80),
// binary values in hexadecimal, and a delete without values (the whole attribute) as "(null)".
inline std::string describe(const Modification& mod) {
    unsigned code = 0x0;
    switch (mod.operation) {
        case ModOperation::Add:
            code = 0x0;
            break;
        case ModOperation::Delete:
            code = 0x1;
            break;
        case ModOperation::Replace:
            code = 0x2;
            break;
    }
    char op[16];
    std::snprintf(op, sizeof op, "0x%x", code | (mod.binary ? 0x80u : 0u));
    std::string text = std::string(op) + " " + mod.attribute + " ";
    if (mod.operation == ModOperation::Delete && mod.values.empty()) {
        return text + "(null)";
    }
    text += "[";
    for (std::size_t i = 0; i < mod.values.size(); ++i) {
        text += i == 0 ? "" : "|";
        text += mod.binary ? hexText(mod.values[i]) : mod.values[i];
    }
    return text + "]";
}

inline std::vector<std::string> describe(std::span<const Modification> mods) {
    std::vector<std::string> lines;
    for (const Modification& mod : mods) {
        lines.push_back(describe(mod));
    }
    return lines;
}

inline std::string describe(const ServerControls& controls) {
    std::string text = "[";
    for (std::size_t i = 0; i < controls.size(); ++i) {
        text += i == 0 ? "" : " ";
        text += controls[i].oid + (controls[i].critical ? " critical" : " noncritical") +
                " value=" + hexText(controls[i].value);
    }
    return text + "]";
}

struct Call {
    enum class Kind {
        Init,
        SetOption,
        TimeLimit,
        NegotiateBind,
        SimpleBind,
        Search,
        Delete,
        Rename,
        Modify,
        Add,
        PasswordModify,
        Result,
        Unbind,
        Connect,
        StartTls,
    };
    Kind kind = Kind::Init;
    std::optional<std::string> host;     // Init
    std::optional<int> port;             // Init; none: the default server's own
    UrlScheme scheme = UrlScheme::Ldap;  // Init
    int option = 0;                      // SetOption
    int value = 0;                       // SetOption, TimeLimit
    std::string dn;                      // binds, requests
    std::string password;                // SimpleBind, PasswordModify
    std::string newRdn;                  // Rename
    std::string newParent;               // Rename
    bool deleteOldRdn = false;           // Rename
    ServerControls controls;             // Search and requests
    std::vector<Modification> mods;      // Modify, Add
    SearchRequest search;                // Search
    int messageId = 0;                   // requests (as handed back), Result
    int timeoutSeconds = 0;              // Result

    // One line naming the call and every argument, for exact comparisons.
    std::string text() const {
        switch (kind) {
            case Kind::Init:
                return "init host=" + host.value_or("(none)") +
                       " port=" + (port ? std::to_string(*port) : std::string("(default)")) +
                       (scheme == UrlScheme::Ldaps ? " ldaps" : "");
            case Kind::Connect:
                return "connect";
            case Kind::StartTls:
                return "start tls";
            case Kind::SetOption: {
                char line[48];
                std::snprintf(line, sizeof line, "option 0x%x=%d", static_cast<unsigned>(option),
                              value);
                return line;
            }
            case Kind::TimeLimit:
                return "time limit " + std::to_string(value);
            case Kind::NegotiateBind:
                return "bind negotiate";
            case Kind::SimpleBind:
                return "bind simple dn=[" + dn + "] password=[" + password + "]";
            case Kind::Search: {
                std::string attributes;
                for (const std::string& name : search.attributes) {
                    attributes += (attributes.empty() ? "" : ",") + name;
                }
                return "search base=[" + search.base + "] scope=" + std::to_string(search.scope) +
                       " filter=" + search.filter + " attrs=[" + attributes +
                       "] size=" + std::to_string(search.sizeLimit) +
                       " controls=" + describe(search.controls) +
                       (search.pageSize > 0 ? " page=" + std::to_string(search.pageSize) : "");
            }
            case Kind::Delete:
                return "delete [" + dn + "] controls=" + describe(controls);
            case Kind::Rename:
                return "rename [" + dn + "] rdn=[" + newRdn + "] parent=[" + newParent +
                       "] deleteOld=" + (deleteOldRdn ? "1" : "0") +
                       " controls=" + describe(controls);
            case Kind::Modify:
            case Kind::Add: {
                std::string line = std::string(kind == Kind::Modify ? "modify" : "add") + " [" +
                                   dn + "] controls=" + describe(controls) + " mods=";
                for (std::size_t i = 0; i < mods.size(); ++i) {
                    line += (i == 0 ? "" : "; ") + describe(mods[i]);
                }
                return line;
            }
            case Kind::PasswordModify:
                return "password modify [" + dn + "]";
            case Kind::Result:
                return "result id=" + std::to_string(messageId) +
                       " timeout=" + std::to_string(timeoutSeconds);
            case Kind::Unbind:
                return "unbind";
        }
        return "?";
    }
};

// How the directory answers one asynchronous request (delete, rename, modify, add).
struct RequestAnswer {
    int sendCode = 0;              // non-zero: the send itself fails
    int resultCode = 0;            // what waitForResult gives
    std::string diagnostic;        // the server's text with that result
    bool timesOut = false;         // no answer within the time limit
    bool dropsConnection = false;  // the connection is lost while it is awaited
    std::optional<int> messageId;  // default: the next number from 1 upwards
};

inline RequestAnswer result(int code, std::string diagnostic = "") {
    RequestAnswer answer;
    answer.resultCode = code;
    answer.diagnostic = std::move(diagnostic);
    return answer;
}

inline RequestAnswer sendFailure(int code) {
    RequestAnswer answer;
    answer.sendCode = code;
    return answer;
}

inline RequestAnswer noAnswerInTime() {
    RequestAnswer answer;
    answer.timesOut = true;
    return answer;
}

inline RequestAnswer sentAsMessage(int messageId) {
    RequestAnswer answer;
    answer.messageId = messageId;
    return answer;
}

inline RequestAnswer connectionDrops() {
    RequestAnswer answer;
    answer.dropsConnection = true;
    return answer;
}

// When the answer to a search sent without waiting (sendSearch) is in.
enum class Arrival {
    AtOnce,
    Late,             // a poll (kPollAndKeep) finds nothing yet; a wait gets it
    Never,            // a wait runs out of time
    ConnectionDrops,  // the connection is lost when it is asked for
};

struct SearchAnswer {
    int code = 0;
    std::vector<LdapEntry> entries;
    Arrival arrival = Arrival::AtOnce;
};

class FakeLdapLibrary;

class FakeLdapConnection final : public LdapConnection {
  public:
    // `host`: the server it was made for (none: the default server); `ldaps`: TLS from the
    // first byte.
    explicit FakeLdapConnection(FakeLdapLibrary& library, std::optional<std::string> host = {},
                                bool ldaps = false);
    ~FakeLdapConnection() override;
    FakeLdapConnection(const FakeLdapConnection&) = delete;
    FakeLdapConnection& operator=(const FakeLdapConnection&) = delete;

    int setOption(int option, int value) override;
    void setTimeLimit(int seconds) override;
    int connect() override;
    int startTls() override;
    bool usesTls() override;
    int negotiateBind() override;
    int simpleBind(const std::string& dn, const std::string& password) override;
    int search(const SearchRequest& request, std::vector<LdapEntry>& entries) override;
    int searchPages(const SearchRequest& request, const PageSink& page) override;
    int sendSearch(const SearchRequest& request, int& messageId) override;
    int searchResult(int messageId, int timeoutSeconds, std::vector<LdapEntry>& entries) override;
    int sendDelete(const std::string& dn, const ServerControls& controls, int& messageId) override;
    int sendRename(const std::string& dn, const std::string& newRdn, const std::string& newParent,
                   bool deleteOldRdn, const ServerControls& controls, int& messageId) override;
    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override;
    int passwordModify(const std::string& userDn, const std::string& newPassword) override;
    int waitForResult(int messageId, int timeoutSeconds, std::string& diagnostic,
                      bool& sent) override;
    std::string lastDiagnostic() override;
    std::string hostName() override;

  private:
    int send(Call call, int& messageId);
    int bindResult() const;

    FakeLdapLibrary& library_;
    std::optional<std::string> host_;
    bool tls_;
};

// The script every handle answers from, and the log of every call on any handle.
class FakeLdapLibrary final : public LdapLibrary {
  public:
    // --- script ---
    std::optional<int> initError;              // set: openHandle gives no handle, with this error
    std::map<int, int> optionResults;          // option number -> result of setOption
    int bindResult = 0;                        // both bind kinds
    std::map<std::string, int> bindResultFor;  // a bind's result on handles for one host
    std::map<std::string, int> connectResultFor;  // connect()'s result for one host; else 0
    int startTlsResult = 0;
    bool defaultUsesTls = false;                    // the library's default servers are ldaps://
    std::string diagnosticText;                     // what lastDiagnostic() gives
    std::string defaultHost = "ldap.default.test";  // the library's default server
    std::deque<SearchAnswer> searchAnswers;         // one per search; none left: success, no entry
    // Above 0: an unpaged search answering more entries fails with sizeLimitExceeded, as a
    // Windows DC cuts one at MaxPageSize.
    std::size_t maxPageSize = 0;
    // Called after each page a paged search hands on (pages of the request's size).
    std::function<void()> afterPage;
    std::deque<RequestAnswer> requestAnswers;  // one per request; none left: success
    int passwordModifyResult = 0;
    // Non-zero: a server working on requests in parallel, where a request sent while
    // another is unanswered gets this result (a parent's delete overtaking its child's: 66).
    int overlapResult = 0;
    // Set by an answer that drops the connection: from then on every request and search
    // still to be answered gives kLdapServerDown, and every send fails with it.
    bool connectionLost = false;

    // --- record ---
    std::vector<Call> log;
    int openHandles = 0;     // handles alive now
    int maxOutstanding = 0;  // most requests sent and not yet awaited at any time

    using LdapLibrary::openHandle;
    std::unique_ptr<LdapConnection> openHandle(const std::optional<std::string>& host,
                                               std::optional<int> port, UrlScheme scheme,
                                               int& error) override {
        // Filled in place: GCC 12 wrongly takes a local Call's optional host as uninitialised.
        Call& call = log.emplace_back();
        call.kind = Call::Kind::Init;
        call.host = host;
        call.port = port;
        call.scheme = scheme;
        if (initError) {
            error = *initError;
            return nullptr;
        }
        return std::make_unique<FakeLdapConnection>(
            *this, host, host ? scheme == UrlScheme::Ldaps : defaultUsesTls);
    }

    // A handle without an openHandle record, for tests that start from an open session.
    LdapSession session(const std::string& serverText = "dc1") {
        return LdapSession{std::make_unique<FakeLdapConnection>(*this), serverText};
    }

    void answerRequests(std::initializer_list<RequestAnswer> answers) {
        requestAnswers.insert(requestAnswers.end(), answers);
    }

    std::vector<std::string> calls() const {
        std::vector<std::string> lines;
        for (const Call& call : log) {
            lines.push_back(call.text());
        }
        return lines;
    }

    std::vector<Call> callsOf(Call::Kind kind) const {
        std::vector<Call> found;
        for (const Call& call : log) {
            if (call.kind == kind) {
                found.push_back(call);
            }
        }
        return found;
    }

    std::size_t count(Call::Kind kind) const { return callsOf(kind).size(); }

    // Calls that reach the directory with a target: deletes, renames, modifies, adds.
    std::vector<std::string> requests() const {
        std::vector<std::string> lines;
        for (const Call& call : log) {
            if (call.kind == Call::Kind::Delete || call.kind == Call::Kind::Rename ||
                call.kind == Call::Kind::Modify || call.kind == Call::Kind::Add) {
                lines.push_back(call.text());
            }
        }
        return lines;
    }

  private:
    friend class FakeLdapConnection;
    int nextMessageId_ = 1;
    std::map<int, RequestAnswer> pending_;
    std::map<int, SearchAnswer> searches_;
};

inline FakeLdapConnection::FakeLdapConnection(FakeLdapLibrary& library,
                                              std::optional<std::string> host, bool ldaps)
    : library_(library), host_(std::move(host)), tls_(ldaps) {
    ++library_.openHandles;
}

inline int FakeLdapConnection::bindResult() const {
    if (host_) {
        const auto found = library_.bindResultFor.find(*host_);
        if (found != library_.bindResultFor.end()) {
            return found->second;
        }
    }
    return library_.bindResult;
}

inline int FakeLdapConnection::connect() {
    Call call;
    call.kind = Call::Kind::Connect;
    library_.log.push_back(call);
    if (host_) {
        const auto found = library_.connectResultFor.find(*host_);
        if (found != library_.connectResultFor.end()) {
            return found->second;
        }
    }
    return 0;
}

inline int FakeLdapConnection::startTls() {
    Call call;
    call.kind = Call::Kind::StartTls;
    library_.log.push_back(call);
    if (library_.startTlsResult == 0) {
        tls_ = true;
    }
    return library_.startTlsResult;
}

inline bool FakeLdapConnection::usesTls() {
    return tls_;
}

inline FakeLdapConnection::~FakeLdapConnection() {
    --library_.openHandles;
    Call call;
    call.kind = Call::Kind::Unbind;
    library_.log.push_back(call);
}

inline int FakeLdapConnection::setOption(int option, int value) {
    Call call;
    call.kind = Call::Kind::SetOption;
    call.option = option;
    call.value = value;
    library_.log.push_back(call);
    const auto found = library_.optionResults.find(option);
    return found != library_.optionResults.end() ? found->second : 0;
}

inline void FakeLdapConnection::setTimeLimit(int seconds) {
    Call call;
    call.kind = Call::Kind::TimeLimit;
    call.value = seconds;
    library_.log.push_back(call);
}

inline int FakeLdapConnection::negotiateBind() {
    Call call;
    call.kind = Call::Kind::NegotiateBind;
    library_.log.push_back(call);
    return bindResult();
}

inline int FakeLdapConnection::simpleBind(const std::string& dn, const std::string& password) {
    Call call;
    call.kind = Call::Kind::SimpleBind;
    call.dn = dn;
    call.password = password;
    library_.log.push_back(call);
    return bindResult();
}

inline int FakeLdapConnection::search(const SearchRequest& request,
                                      std::vector<LdapEntry>& entries) {
    Call call;
    call.kind = Call::Kind::Search;
    call.search = request;
    call.controls = request.controls;
    library_.log.push_back(call);
    if (library_.searchAnswers.empty()) {
        return 0;
    }
    SearchAnswer answer = std::move(library_.searchAnswers.front());
    library_.searchAnswers.pop_front();
    if (answer.code == 0 && request.pageSize <= 0 && library_.maxPageSize > 0 &&
        answer.entries.size() > library_.maxPageSize) {
        answer.entries.resize(library_.maxPageSize);
        answer.code = 4;  // sizeLimitExceeded, and the entries so far are lost to the caller
    }
    if (answer.code == 0) {
        entries = std::move(answer.entries);
    }
    return answer.code;
}

// The answer search gives, handed on in pages of the request's size.
inline int FakeLdapConnection::searchPages(const SearchRequest& request, const PageSink& sink) {
    std::vector<LdapEntry> entries;
    if (const int rc = search(request, entries); rc != 0) {
        return rc;
    }
    const std::size_t size =
        request.pageSize > 0 ? static_cast<std::size_t>(request.pageSize) : entries.size();
    for (std::size_t first = 0; first == 0 || first < entries.size(); first += size) {
        const auto from = entries.begin() + static_cast<std::ptrdiff_t>(first);
        std::vector<LdapEntry> page(
            std::make_move_iterator(from),
            std::make_move_iterator(
                from + static_cast<std::ptrdiff_t>(std::min(size, entries.size() - first))));
        if (const int rc = sink(page); rc != 0) {
            return rc;
        }
        if (library_.afterPage) {
            library_.afterPage();
        }
        if (size == 0) {
            break;
        }
    }
    return 0;
}

// Answered at once from searchAnswers, as search is; the answer waits for
// searchResult under its message number.
inline int FakeLdapConnection::sendSearch(const SearchRequest& request, int& messageId) {
    if (library_.connectionLost) {
        return kLdapServerDown;
    }
    const Arrival arrival =
        library_.searchAnswers.empty() ? Arrival::AtOnce : library_.searchAnswers.front().arrival;
    std::vector<LdapEntry> entries;
    const int code = search(request, entries);
    messageId = library_.nextMessageId_++;
    library_.searches_[messageId] = SearchAnswer{code, std::move(entries), arrival};
    return 0;
}

inline int FakeLdapConnection::searchResult(int messageId, int timeoutSeconds,
                                            std::vector<LdapEntry>& entries) {
    const auto found = library_.searches_.find(messageId);
    if (found == library_.searches_.end()) {
        ADD_FAILURE() << "searchResult for message " << messageId << ", which was never sent";
        return kLdapParamError;
    }
    const Arrival arrival = found->second.arrival;
    library_.connectionLost = library_.connectionLost || arrival == Arrival::ConnectionDrops;
    if (!library_.connectionLost && arrival != Arrival::AtOnce && timeoutSeconds == kPollAndKeep) {
        return kLdapTimeout;  // not in yet, and still outstanding
    }
    SearchAnswer answer = std::move(found->second);
    library_.searches_.erase(found);
    if (library_.connectionLost) {
        return kLdapServerDown;
    }
    if (arrival == Arrival::Never) {
        return kLdapTimeout;
    }
    entries = std::move(answer.entries);
    return answer.code;
}

inline int FakeLdapConnection::send(Call call, int& messageId) {
    RequestAnswer answer;
    if (!library_.requestAnswers.empty()) {
        answer = library_.requestAnswers.front();
        library_.requestAnswers.pop_front();
    }
    if (library_.connectionLost) {
        answer.sendCode = kLdapServerDown;
    }
    if (answer.sendCode == 0) {
        if (library_.overlapResult != 0 && !library_.pending_.empty()) {
            answer.resultCode = library_.overlapResult;
        }
        messageId = answer.messageId.value_or(library_.nextMessageId_++);
        library_.pending_[messageId] = answer;
        library_.maxOutstanding =
            std::max(library_.maxOutstanding, static_cast<int>(library_.pending_.size()));
    } else if (answer.messageId) {
        messageId = *answer.messageId;
    }
    call.messageId = messageId;
    library_.log.push_back(std::move(call));
    return answer.sendCode;
}

inline int FakeLdapConnection::sendDelete(const std::string& dn, const ServerControls& controls,
                                          int& messageId) {
    Call call;
    call.kind = Call::Kind::Delete;
    call.dn = dn;
    call.controls = controls;
    return send(std::move(call), messageId);
}

inline int FakeLdapConnection::sendRename(const std::string& dn, const std::string& newRdn,
                                          const std::string& newParent, bool deleteOldRdn,
                                          const ServerControls& controls, int& messageId) {
    Call call;
    call.kind = Call::Kind::Rename;
    call.dn = dn;
    call.newRdn = newRdn;
    call.newParent = newParent;
    call.deleteOldRdn = deleteOldRdn;
    call.controls = controls;
    return send(std::move(call), messageId);
}

inline int FakeLdapConnection::sendModifications(ModificationRequest request, const std::string& dn,
                                                 std::span<const Modification> modifications,
                                                 const ServerControls& controls, int& messageId) {
    Call call;
    call.kind = request == ModificationRequest::Add ? Call::Kind::Add : Call::Kind::Modify;
    call.dn = dn;
    call.controls = controls;
    call.mods.assign(modifications.begin(), modifications.end());
    return send(std::move(call), messageId);
}

inline int FakeLdapConnection::passwordModify(const std::string& userDn,
                                              const std::string& newPassword) {
    Call call;
    call.kind = Call::Kind::PasswordModify;
    call.dn = userDn;
    call.password = newPassword;
    library_.log.push_back(call);
    return library_.passwordModifyResult;
}

inline int FakeLdapConnection::waitForResult(int messageId, int timeoutSeconds,
                                             std::string& diagnostic, bool& sent) {
    sent = true;
    Call call;
    call.kind = Call::Kind::Result;
    call.messageId = messageId;
    call.timeoutSeconds = timeoutSeconds;
    library_.log.push_back(call);
    const auto found = library_.pending_.find(messageId);
    if (found == library_.pending_.end()) {
        ADD_FAILURE() << "waitForResult for message " << messageId << ", which was never sent";
        return kLdapParamError;
    }
    const RequestAnswer answer = found->second;
    library_.pending_.erase(found);
    library_.connectionLost = library_.connectionLost || answer.dropsConnection;
    if (library_.connectionLost) {
        diagnostic.clear();
        return kLdapServerDown;
    }
    if (answer.timesOut) {
        diagnostic.clear();
        return kLdapTimeout;
    }
    // Like libldap: the server's text comes back whatever the code.
    diagnostic = answer.diagnostic;
    return answer.resultCode;
}

inline std::string FakeLdapConnection::lastDiagnostic() {
    return library_.diagnosticText;
}

inline std::string FakeLdapConnection::hostName() {
    return library_.defaultHost;
}

// The password step's setter: records each call and answers from a script.
class FakePasswordSetter final : public PasswordSetter {
  public:
    struct Request {
        std::string serverName;
        std::string dn;
        std::string password;
        bool operator==(const Request&) const = default;
    };

    std::deque<std::int32_t> statuses;  // one per call; none left: 0
    std::vector<Request> requests;

    std::int32_t setPassword(Reporter& reporter, const std::string& serverName,
                             const std::string& dn, const std::string& password) override {
        requests.push_back(Request{serverName, dn, password});
        std::int32_t status = 0;
        if (!statuses.empty()) {
            status = statuses.front();
            statuses.pop_front();
        }
        if (status != 0) {
            // The real setter writes its own report; a marker shows where it lands.
            reporter.problem("<password error>");
        }
        return status;
    }
};

// A DC locator that answers from a script and counts its calls.
class FakeDcLocator final : public DcLocator {
  public:
    LocatedDcs answer;
    int calls = 0;

    LocatedDcs locate(int) override {
        ++calls;
        return answer;
    }
};

// Writes each character to its own text and to the text of both streams together.
class TeeBuffer final : public std::streambuf {
  public:
    TeeBuffer(std::string& own, std::string& both) : own_(own), both_(both) {}

  protected:
    int_type overflow(int_type ch) override {
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            own_ += traits_type::to_char_type(ch);
            both_ += traits_type::to_char_type(ch);
        }
        return traits_type::not_eof(ch);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        own_.append(text, static_cast<std::size_t>(count));
        both_.append(text, static_cast<std::size_t>(count));
        return count;
    }

  private:
    std::string& own_;
    std::string& both_;
};

// A Reporter whose standard output, standard error and their interleaving can be read.
class CapturedConsole {
  public:
    CapturedConsole() = default;
    CapturedConsole(const CapturedConsole&) = delete;
    CapturedConsole& operator=(const CapturedConsole&) = delete;

    const std::string& out() const { return outText_; }
    const std::string& err() const { return errText_; }
    const std::string& both() const { return bothText_; }  // in the order written
    void clear() {
        outText_.clear();
        errText_.clear();
        bothText_.clear();
    }

  private:
    std::string outText_;
    std::string errText_;
    std::string bothText_;
    TeeBuffer outBuffer_{outText_, bothText_};
    TeeBuffer errBuffer_{errText_, bothText_};
    std::ostream outStream_{&outBuffer_};
    std::ostream errStream_{&errBuffer_};

  public:
    Reporter reporter{outStream_, errStream_};
};

// A RootDSE entry with the given DNS host name and an Active Directory's capability.
inline LdapEntry rootDseEntry(const std::string& dnsHostName) {
    return LdapEntry{"",
                     {{"dnsHostName", {dnsHostName}},
                      {"defaultNamingContext", {"DC=homelab,DC=net"}},
                      {"supportedCapabilities", {"1.2.840.113556.1.4.800"}}}};
}

}  // namespace kestrel::fake
