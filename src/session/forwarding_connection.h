// A connection that hands every call to another one: the base of wrappers that change
// what a few calls do (a dry run's writes, an undo journal's) and pass the rest on.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "session/ldap_client.h"

namespace kestrel {

class ForwardingConnection : public LdapConnection {
  public:
    explicit ForwardingConnection(std::unique_ptr<LdapConnection> inner)
        : inner_(std::move(inner)) {}

    int ldap_set_option(int option, int value) override {
        return inner_->ldap_set_option(option, value);
    }
    void setTimeLimit(int seconds) override { inner_->setTimeLimit(seconds); }
    int connect() override { return inner_->connect(); }
    int startTls() override { return inner_->startTls(); }
    bool usesTls() override { return inner_->usesTls(); }
    int negotiateBind() override { return inner_->negotiateBind(); }
    int ldap_simple_bind_s(const std::string& dn, const std::string& password) override {
        return inner_->ldap_simple_bind_s(dn, password);
    }
    int ldap_search_ext_s(const SearchRequest& request, std::vector<LdapEntry>& entries) override {
        return inner_->ldap_search_ext_s(request, entries);
    }
    int ldap_delete_ext(const std::string& dn, const ServerControls& controls,
                        int& messageId) override {
        return inner_->ldap_delete_ext(dn, controls, messageId);
    }
    int ldap_rename_ext(const std::string& dn, const std::string& newRdn,
                        const std::string& newParent, bool deleteOldRdn,
                        const ServerControls& controls, int& messageId) override {
        return inner_->ldap_rename_ext(dn, newRdn, newParent, deleteOldRdn, controls, messageId);
    }
    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override {
        return inner_->sendModifications(request, dn, modifications, controls, messageId);
    }
    int passwordModify(const std::string& userDn, const std::string& newPassword) override {
        return inner_->passwordModify(userDn, newPassword);
    }
    int ldap_result(int messageId, int timeoutSeconds, std::string& diagnostic) override {
        return inner_->ldap_result(messageId, timeoutSeconds, diagnostic);
    }
    std::string lastDiagnostic() override { return inner_->lastDiagnostic(); }
    std::string hostName() override { return inner_->hostName(); }

  protected:
    LdapConnection& inner() { return *inner_; }

  private:
    std::unique_ptr<LdapConnection> inner_;
};

}  // namespace kestrel
