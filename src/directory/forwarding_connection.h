// A connection that hands calls to another one: the base of wrappers that change what
// the writes do (a dry run's, an undo journal's). Reads, binds and options pass on; every
// write is pure virtual, so a write method added to the seam does not compile until each
// wrapper that sees every write decides what it does with it. A wrapper that means to pass
// a write on says so by calling the base's definition (ForwardingConnection::sendDelete ...).
// A wrapper that changes one kind of request only derives from PassingConnection below.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "directory/ldap_client.h"

namespace kestrel {

class ForwardingConnection : public LdapConnection {
  public:
    explicit ForwardingConnection(std::unique_ptr<LdapConnection> inner)
        : inner_(std::move(inner)) {}

    int setOption(int option, int value) override { return inner_->setOption(option, value); }
    void setTimeLimit(int seconds) override { inner_->setTimeLimit(seconds); }
    int connect() override { return inner_->connect(); }
    int startTls() override { return inner_->startTls(); }
    bool usesTls() override { return inner_->usesTls(); }
    int negotiateBind() override { return inner_->negotiateBind(); }
    int simpleBind(const std::string& dn, const std::string& password) override {
        return inner_->simpleBind(dn, password);
    }
    int search(const SearchRequest& request, std::vector<LdapEntry>& entries) override {
        return inner_->search(request, entries);
    }
    int searchPages(const SearchRequest& request, const PageSink& page) override {
        return inner_->searchPages(request, page);
    }
    int sendSearch(const SearchRequest& request, int& messageId) override {
        return inner_->sendSearch(request, messageId);
    }
    int searchResult(int messageId, int timeoutSeconds, std::vector<LdapEntry>& entries) override {
        return inner_->searchResult(messageId, timeoutSeconds, entries);
    }
    // The writes.
    int sendDelete(const std::string& dn, const ServerControls& controls,
                   int& messageId) override = 0;
    int sendRename(const std::string& dn, const std::string& newRdn, const std::string& newParent,
                   bool deleteOldRdn, const ServerControls& controls, int& messageId) override = 0;
    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override = 0;
    int passwordModify(const std::string& userDn, const std::string& newPassword) override = 0;

    int waitForResult(int messageId, int timeoutSeconds, std::string& diagnostic,
                      bool& sent) override {
        return inner_->waitForResult(messageId, timeoutSeconds, diagnostic, sent);
    }
    std::string lastDiagnostic() override { return inner_->lastDiagnostic(); }
    std::string hostName() override { return inner_->hostName(); }

    // The wrapped connection back, for a wrapper that stands in for a while only; the
    // wrapper is of no use afterwards.
    std::unique_ptr<LdapConnection> releaseInner() { return std::move(inner_); }

  protected:
    LdapConnection& inner() { return *inner_; }

  private:
    std::unique_ptr<LdapConnection> inner_;
};

// Passing a write on, for a wrapper that calls these on purpose.
inline int ForwardingConnection::sendDelete(const std::string& dn, const ServerControls& controls,
                                            int& messageId) {
    return inner_->sendDelete(dn, controls, messageId);
}
inline int ForwardingConnection::sendRename(const std::string& dn, const std::string& newRdn,
                                            const std::string& newParent, bool deleteOldRdn,
                                            const ServerControls& controls, int& messageId) {
    return inner_->sendRename(dn, newRdn, newParent, deleteOldRdn, controls, messageId);
}
inline int ForwardingConnection::sendModifications(ModificationRequest request,
                                                   const std::string& dn,
                                                   std::span<const Modification> modifications,
                                                   const ServerControls& controls, int& messageId) {
    return inner_->sendModifications(request, dn, modifications, controls, messageId);
}
inline int ForwardingConnection::passwordModify(const std::string& userDn,
                                                const std::string& newPassword) {
    return inner_->passwordModify(userDn, newPassword);
}

// The base of a wrapper that changes one kind of request and passes every other write on
// unchanged (tree-delete rounds, setbits, the permissive control): the one place that
// decides, for all of them, that a write they do not change goes on as it came.
class PassingConnection : public ForwardingConnection {
  public:
    using ForwardingConnection::ForwardingConnection;

    int sendDelete(const std::string& dn, const ServerControls& controls, int& messageId) override {
        return ForwardingConnection::sendDelete(dn, controls, messageId);
    }
    int sendRename(const std::string& dn, const std::string& newRdn, const std::string& newParent,
                   bool deleteOldRdn, const ServerControls& controls, int& messageId) override {
        return ForwardingConnection::sendRename(dn, newRdn, newParent, deleteOldRdn, controls,
                                                messageId);
    }
    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override {
        return ForwardingConnection::sendModifications(request, dn, modifications, controls,
                                                       messageId);
    }
    int passwordModify(const std::string& userDn, const std::string& newPassword) override {
        return ForwardingConnection::passwordModify(userDn, newPassword);
    }
};

}  // namespace kestrel
