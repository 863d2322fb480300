#include "dn/dn_components.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

struct SplitCase {
    const char* dn;
    std::vector<std::string> components;
};

class ExplodeDnSplits : public testing::TestWithParam<SplitCase> {};

TEST_P(ExplodeDnSplits, KeepsEachComponentAsWritten) {
    const auto components = explodeDn(GetParam().dn);
    ASSERT_TRUE(components.has_value()) << GetParam().dn;
    EXPECT_EQ(*components, GetParam().components);
}

INSTANTIATE_TEST_SUITE_P(
    Dns, ExplodeDnSplits,
    testing::Values(
        SplitCase{"CN=kim,OU=Staff,DC=homelab,DC=net",
                  {"CN=kim", "OU=Staff", "DC=homelab", "DC=net"}},
        SplitCase{"CN=kim", {"CN=kim"}},
        // A tombstone: the escaped line feed stays as the four characters "\0A".
        SplitCase{"CN=Undel Me\\0ADEL:5f3c0c1e-9a2b-4c1d-8e7f-0123456789ab,CN=Deleted Objects,"
                  "DC=homelab,DC=net",
                  {"CN=Undel Me\\0ADEL:5f3c0c1e-9a2b-4c1d-8e7f-0123456789ab", "CN=Deleted Objects",
                   "DC=homelab", "DC=net"}},
        SplitCase{"CN=a\\,b,DC=x", {"CN=a\\,b", "DC=x"}},
        SplitCase{"CN=a\\\\,DC=x", {"CN=a\\\\", "DC=x"}},
        SplitCase{"CN=a\\;b;DC=x", {"CN=a\\;b", "DC=x"}},
        SplitCase{"CN=kim;OU=Staff,DC=x", {"CN=kim", "OU=Staff", "DC=x"}},
        SplitCase{"CN=\"a,b\",DC=x", {"CN=\"a,b\"", "DC=x"}},
        SplitCase{"CN=\"a\\\"b,c\",DC=x", {"CN=\"a\\\"b,c\"", "DC=x"}},
        SplitCase{"CN=a+OU=b,DC=x", {"CN=a+OU=b", "DC=x"}},
        SplitCase{"CN=#04024869,DC=x", {"CN=#04024869", "DC=x"}},
        SplitCase{"CN=Kim \xC3\x84,DC=x", {"CN=Kim \xC3\x84", "DC=x"}},
        // Loose blanks around separators are dropped; inner and escaped ones are not.
        SplitCase{" CN=kim , OU=Staff ,DC=x", {"CN=kim", "OU=Staff", "DC=x"}},
        SplitCase{"CN=Kim Lee,DC=x", {"CN=Kim Lee", "DC=x"}},
        SplitCase{"CN=kim\\ ,DC=x", {"CN=kim\\ ", "DC=x"}},
        SplitCase{"CN=\\ kim,DC=x", {"CN=\\ kim", "DC=x"}}, SplitCase{"CN=,DC=x", {"CN=", "DC=x"}}),
    // Rows by number: the default name prints the row's bytes, pointers included, so the
    // test list would differ from one build to the next.
    [](const testing::TestParamInfo<SplitCase>& row) { return std::to_string(row.index); });

TEST(ExplodeDn, GivesNothingForTextThatIsNotADn) {
    const std::vector<std::string> notDns{
        "",       "   ",          "notadn",          "kim",
        "=kim",   "CN=a,",        ",CN=a",           "CN=a,,DC=b",
        "CN=a\\", "CN=a\"b,DC=x", "CN=\"ab\"c,DC=x", std::string("CN=a\0b,DC=x", 11)};
    for (const std::string& dn : notDns) {
        EXPECT_FALSE(explodeDn(dn).has_value()) << "[" << dn << "]";
    }
}

// libldap reads ";" after a type as an option and a quote inside a value as a character;
// a cut at the ";" gives two pieces, as many as libldap's RDNs, yet other ones (found by
// fuzzing: "cn" and "lang-en=#04 \",ou=staff" instead of cn;lang-en=#04 and ou=staff).
TEST(ExplodeDn, GivesNothingWhenTheCutDisagreesWithTheLibrary) {
    const std::vector<std::string> disagreeing{"cn;lang-en=#04 \",ou=staff", "C;=#\r\",D="};
    for (const std::string& dn : disagreeing) {
        EXPECT_FALSE(explodeDn(dn).has_value()) << "[" << dn << "]";
    }
}

}  // namespace
}  // namespace kestrel
