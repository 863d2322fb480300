#include "ops/permissive_modify.h"

#include <gtest/gtest.h>

#include "fake_ldap.h"
#include "session/value_match.h"

namespace kestrel {
namespace {

using fake::FakeLdapLibrary;
using Lines = std::vector<std::string>;

// Every modify carries the control once; what is not a modify goes as it came.
TEST(PermissiveModifyTest, EveryModifyCarriesTheControlOnce) {
    FakeLdapLibrary library;
    const auto connection = permissiveConnection(library.session().handle);
    const std::vector<Modification> mods{{ModOperation::Add, "member", {"cn=b"}, false}};
    const ServerControl critical{"1.2.3", "", true};
    int id = 0;
    connection->sendModifications(ModificationRequest::Modify, "cn=a", mods, {critical}, id);
    connection->sendModifications(ModificationRequest::Modify, "cn=a", mods,
                                  {permissiveModifyControl()}, id);
    connection->sendModifications(ModificationRequest::Add, "cn=a", mods, {}, id);
    connection->sendDelete("cn=a", {}, id);
    connection->sendRename("cn=a", "cn=b", "", true, {}, id);
    const std::string control = "1.2.840.113556.1.4.1413 noncritical value=";
    EXPECT_EQ(library.requests(),
              (Lines{"modify [cn=a] controls=[1.2.3 critical value= " + control +
                         "] mods=0x0 member [cn=b]",
                     "modify [cn=a] controls=[" + control + "] mods=0x0 member [cn=b]",
                     "add [cn=a] controls=[] mods=0x0 member [cn=b]", "delete [cn=a] controls=[]",
                     "rename [cn=a] rdn=[cn=b] parent=[] deleteOld=1 controls=[]"}));
}

TEST(PermissiveModifyTest, ValuesCompareAsTheDirectoryDoes) {
    struct Row {
        ValueSyntax syntax;
        const char* a;
        const char* b;
        bool same;
    };
    const std::vector<Row> rows{
        {ValueSyntax::Dn, "CN=Ann  Lee,DC=x", "cn=ann lee, dc=X", true},
        {ValueSyntax::Dn, "cn=a\\2Cb,dc=x", "cn=a\\,b,dc=x", true},
        {ValueSyntax::Dn, "cn=a,dc=x", "cn=a,dc=y", false},
        {ValueSyntax::Dn, "<GUID=ab>", "<guid=AB>", true},  // no DN to this reading: as text
        {ValueSyntax::Text, "ÄRGER", "ärger", true},
        {ValueSyntax::Text, "a b", "a  b", false},
        {ValueSyntax::Exact, "Ab", "ab", false},
        {ValueSyntax::Unknown, "CN=a,DC=x", "cn=a, dc=x", true},
        {ValueSyntax::Unknown, "x1", "x2", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(sameValue(row.syntax, row.a, row.b), row.same) << row.a << " | " << row.b;
    }
}

}  // namespace
}  // namespace kestrel
