#include "ops/permissive_modify.h"

#include <gtest/gtest.h>

#include "fake_ldap.h"

namespace kestrel {
namespace {

// Every modify carries the control once; what is not a modify goes as it came.
TEST(PermissiveModifyTest, EveryModifyCarriesTheControlOnce) {
    fake::FakeLdapLibrary library;
    const auto connection = permissiveConnection(library.session().handle);
    const std::vector<Modification> mods{{ModOperation::Add, "member", {"cn=b"}, false}};
    int id = 0;
    connection->sendModifications(ModificationRequest::Modify, "cn=a", mods, {{"1.2.3", "", true}},
                                  id);
    connection->sendModifications(ModificationRequest::Modify, "cn=a", mods,
                                  {permissiveModifyControl()}, id);
    connection->sendDelete("cn=a", {}, id);
    const std::string control = "1.2.840.113556.1.4.1413 noncritical value=";
    EXPECT_EQ(
        library.requests(),
        (std::vector<std::string>{
            "modify [cn=a] controls=[1.2.3 critical value= " + control + "] mods=0x0 member [cn=b]",
            "modify [cn=a] controls=[" + control + "] mods=0x0 member [cn=b]",
            "delete [cn=a] controls=[]"}));
}

}  // namespace
}  // namespace kestrel
