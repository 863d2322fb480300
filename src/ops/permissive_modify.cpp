#include "ops/permissive_modify.h"

#include <utility>

#include "directory/forwarding_connection.h"

namespace kestrel {
namespace {

class PermissiveConnection final : public ForwardingConnection {
  public:
    explicit PermissiveConnection(std::unique_ptr<LdapConnection> real)
        : ForwardingConnection(std::move(real)) {}

    int sendDelete(const std::string& dn, const ServerControls& controls, int& messageId) override {
        return inner().sendDelete(dn, controls, messageId);
    }
    int sendRename(const std::string& dn, const std::string& newRdn, const std::string& newParent,
                   bool deleteOldRdn, const ServerControls& controls, int& messageId) override {
        return inner().sendRename(dn, newRdn, newParent, deleteOldRdn, controls, messageId);
    }
    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override {
        if (request != ModificationRequest::Modify || hasControl(controls, kPermissiveModifyOid)) {
            return inner().sendModifications(request, dn, modifications, controls, messageId);
        }
        ServerControls withControl = controls;
        withControl.push_back(permissiveModifyControl());
        return inner().sendModifications(request, dn, modifications, withControl, messageId);
    }
    int passwordModify(const std::string& userDn, const std::string& newPassword) override {
        return inner().passwordModify(userDn, newPassword);
    }
};

}  // namespace

std::unique_ptr<LdapConnection> permissiveConnection(std::unique_ptr<LdapConnection> real) {
    return std::make_unique<PermissiveConnection>(std::move(real));
}

}  // namespace kestrel
