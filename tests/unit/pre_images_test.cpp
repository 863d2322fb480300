#include "undo/pre_images.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

// Whether kept in memory or set aside in a file, the entries come back byte for byte, in
// the order added or deepest first.
TEST(PreImagesTest, EntriesComeBackAsAddedOrDeepestFirst) {
    char pattern[] = "/tmp/kestrel-images-test.XXXXXX";
    const std::string directory = mkdtemp(pattern);
    const std::string binary("\x00\xff\n", 3);
    const std::vector<LdapEntry> added{
        {"ou=p,dc=x", {{"objectGUID", {binary}}}},
        {"cn=a,ou=s,ou=p,dc=x", {{"member", {"x", ""}}, {"empty", {}}}},
        {"ou=s,ou=p,dc=x", {}},
        {"cn=b,ou=s,ou=p,dc=x", {{"description", {std::string(70000, 'v')}}}},
    };
    const std::vector<std::string> deepestFirst{"cn=a,ou=s,ou=p,dc=x", "cn=b,ou=s,ou=p,dc=x",
                                                "ou=s,ou=p,dc=x", "ou=p,dc=x"};
    for (const bool spooled : {false, true}) {
        SCOPED_TRACE(spooled);
        PreImages images;
        std::string why;
        ASSERT_TRUE(images.add(added[0], why));
        if (spooled) {
            ASSERT_TRUE(images.spoolIn(directory, why)) << why;
        }
        for (std::size_t i = 1; i < added.size(); ++i) {
            ASSERT_TRUE(images.add(added[i], why)) << why;
        }
        std::vector<LdapEntry> back;
        ASSERT_TRUE(
            images.forEach([&](const LdapEntry& e) { return back.push_back(e), true; }, why));
        ASSERT_EQ(back.size(), added.size());
        for (std::size_t i = 0; i < added.size(); ++i) {
            EXPECT_EQ(back[i].dn, added[i].dn);
            ASSERT_EQ(back[i].attributes.size(), added[i].attributes.size());
            for (std::size_t a = 0; a < added[i].attributes.size(); ++a) {
                EXPECT_EQ(back[i].attributes[a].name, added[i].attributes[a].name);
                EXPECT_EQ(back[i].attributes[a].values, added[i].attributes[a].values);
            }
        }
        std::vector<std::string> order;
        ASSERT_TRUE(images.forEachDeepestFirst(
            [&](const LdapEntry& e) { return order.push_back(e.dn), true; }, why));
        EXPECT_EQ(order, deepestFirst);
    }
    // The file has no name: nothing is left behind in the directory.
    EXPECT_EQ(rmdir(directory.c_str()), 0);
}

}  // namespace
}  // namespace kestrel
