#include "connection/ldap_url.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

// Decides whether a server list without -h may carry a password: any plain server in it
// must say no.
TEST(AllLdaps, OnlyWhenEveryUrlIsLdaps) {
    struct Row {
        std::string urls;
        bool ldaps;
    };
    const std::vector<Row> rows = {
        {"ldaps://dc1", true},
        {"LDAPS://dc1:636", true},
        {"ldaps://dc1 ldaps://dc2,ldaps://dc3", true},
        {"ldap://dc1", false},
        {"LDAP://dc1", false},
        {"ldaps://dc1 ldap://dc2", false},
        {"ldap://dc1,ldaps://dc2", false},
        {"ldapi://%2Frun%2Fldapi", false},
        {"ldaps:dc1", false},
        {"dc1.homelab.net", false},
        {" , ", false},
        {"", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(allLdaps(row.urls), row.ldaps) << row.urls;
    }
}

}  // namespace
}  // namespace kestrel
