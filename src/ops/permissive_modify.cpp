#include "ops/permissive_modify.h"

#include <utility>

#include "directory/forwarding_connection.h"

namespace kestrel {
namespace {

class PermissiveConnection final : public PassingConnection {
  public:
    explicit PermissiveConnection(std::unique_ptr<LdapConnection> real)
        : PassingConnection(std::move(real)) {}

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
};

}  // namespace

std::unique_ptr<LdapConnection> permissiveConnection(std::unique_ptr<LdapConnection> real) {
    return std::make_unique<PermissiveConnection>(std::move(real));
}

}  // namespace kestrel
