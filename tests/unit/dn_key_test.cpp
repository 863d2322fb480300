#include "dn/dn_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/case_fold.h"

namespace kestrel {
namespace {

enum class Relation { Same, Above, Apart };

// How `a` stands to `b` by their keys: the same object, `a` one of `b`'s ancestors, or
// neither.
Relation relation(const DnKey& a, const DnKey& b) {
    if (!isAtOrAbove(a, b)) {
        return Relation::Apart;
    }
    return isAtOrAbove(b, a) ? Relation::Same : Relation::Above;
}

// Two texts the directory reads as one DN get one key: escapes, case (also beyond ASCII),
// loose blanks, the order of a multi-valued RDN's values. Texts it tells apart do not.
TEST(DnKey, ComparesAsTheDirectoryDoes) {
    struct Row {
        std::string a;
        std::string b;
        Relation relation;
    };
    const std::vector<Row> rows{
        {"OU=A\\,B,DC=x", "ou=a\\2cb,dc=X", Relation::Same},
        {"OU=\xC3\xA4rzte,DC=x", "OU=\xC3\x84RZTE,DC=x", Relation::Same},          // ärzte
        {"OU=\\C3\\84rzte,DC=x", "OU=\xC3\xA4rzte,DC=x", Relation::Same},          // escaped
        {"CN=\xCF\x83\xCF\x82,DC=x", "CN=\xCE\xA3\xCE\xA3,DC=x", Relation::Same},  // σς ΣΣ
        {"CN=\xD0\x96,DC=x", "CN=\xD0\xB6,DC=x", Relation::Same},                  // Ж ж
        {"CN=\xE2\x84\xAA,DC=x", "CN=k,DC=x", Relation::Same},                     // Kelvin
        {" CN = a  b , DC=x", "CN=a b,DC=x", Relation::Same},
        {"CN=a+UID=b,DC=x", "UID=b+CN=a,DC=x", Relation::Same},
        {"2.5.4.3=a,DC=x", "CN=a,DC=x", Relation::Same},  // types are left out
        {"DC=x", "CN=a,OU=b,dc=X", Relation::Above},
        {"OU=b\\,c,DC=x", "CN=a,OU=B\\2CC,DC=x", Relation::Above},
        {"CN=a,OU=b,DC=x", "OU=b,DC=x", Relation::Apart},
        {"CN=a,DC=x", "CN=a,DC=y", Relation::Apart},
        {"CN=a\\,b,DC=x", "CN=a,CN=b,DC=x", Relation::Apart},
        {"CN=\xC3\xA4,DC=x", "CN=a,DC=x", Relation::Apart},
        {"CN=a+CN=b,DC=x", "CN=a,DC=x", Relation::Apart},
    };
    for (const Row& row : rows) {
        const auto a = dnKey(row.a);
        const auto b = dnKey(row.b);
        ASSERT_TRUE(a && b) << row.a << " / " << row.b;
        EXPECT_EQ(relation(*a, *b), row.relation) << row.a << " / " << row.b;
    }
}

// What this reading cannot take apart with confidence has no key, so it waits for all.
TEST(DnKey, NoKeyWhereInDoubt) {
    const std::vector<std::string> doubtful{
        "",
        "<GUID=0123456789abcdef0123456789abcdef>",
        "<SID=S-1-5-21-1-2-3-1104>",
        "<WKGUID=a9d1ca15768811d1aded00c04fd8d5cd,DC=x>",
        "CN=\"a,b\",DC=x",
        "CN=#04024869,DC=x",
        "CN=a;DC=x",
        "CN=a,,DC=x",
        "CN=a,",
        "CN=a\\",
        "CN=a\\q,DC=x",
        "CN=a\\00,DC=x",
        std::string("CN=a\0b,DC=x", 11),
        "CN=\xC3(,DC=x",
        "CN=\xC0\xAF,DC=x",
        "CN a,DC=x",
        "=a,DC=x",
    };
    for (const std::string& dn : doubtful) {
        EXPECT_FALSE(dnKey(dn).has_value()) << "[" << dn << "]";
        EXPECT_TRUE(related(dnKey(dn), dnKey("CN=a,DC=x"))) << "[" << dn << "]";
    }
}

TEST(SimpleCaseFold, OneToOneAndLocaleFree) {
    const std::vector<std::pair<char32_t, char32_t>> rows{
        {U'A', U'a'},           {U'a', U'a'},           {U'@', U'@'},
        {U'\u00C4', U'\u00E4'}, {U'\u00DF', U'\u00DF'}, {U'\u1E9E', U'\u00DF'},
        {U'\u0130', U'\u0130'}, {U'\u0100', U'\u0101'}, {U'\u0101', U'\u0101'},
        {U'\u03C2', U'\u03C3'}, {U'\u212A', U'k'},      {U'\U00010400', U'\U00010428'},
        {U'\uFF21', U'\uFF41'}, {U'\u13F8', U'\u13F0'}, {U'\U0010FFFF', U'\U0010FFFF'},
    };
    for (const auto& [from, to] : rows) {
        EXPECT_EQ(simpleCaseFold(from), to) << std::hex << static_cast<unsigned>(from);
    }
}

}  // namespace
}  // namespace kestrel
