#include "password/ads_path.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrel {
namespace {

TEST(ParseAdsPath, ServerEndsAtTheFirstSlashAndTheDnIsKeptAsWritten) {
    struct Row {
        std::u16string path;
        std::string host;
        int port;
        std::string dn;
    };
    const std::vector<Row> rows = {
        {u"LDAP://dc1.homelab.net/CN=Kim,CN=Users,DC=homelab,DC=net", "dc1.homelab.net", 389,
         "CN=Kim,CN=Users,DC=homelab,DC=net"},
        // Commas, blanks, escapes and slashes inside the DN reach the directory unchanged.
        {u"LDAP://dc1/CN=Smith\\, Kim ,OU=A/B,DC=x", "dc1", 389, "CN=Smith\\, Kim ,OU=A/B,DC=x"},
        {u"LDAP://dc1//CN=x", "dc1", 389, "/CN=x"},
        {u"LDAP://dc1:636/CN=x", "dc1", 636, "CN=x"},
        {u"LDAP://dc1:65535/CN=x", "dc1", 65535, "CN=x"},
        {u"LDAP://127.0.0.1/CN=x", "127.0.0.1", 389, "CN=x"},
        {u"LDAP://[::1]/CN=x", "[::1]", 389, "CN=x"},
        {u"LDAP://[::1]:3268/CN=x", "[::1]", 3268, "CN=x"},
        // Non-ASCII text becomes UTF-8, the encoding of DNs on the wire.
        {u"LDAP://dc1/CN=J\u00fcrgen \u20ac\U0001F600", "dc1", 389,
         "CN=J\xc3\xbcrgen \xe2\x82\xac\xf0\x9f\x98\x80"},
    };
    for (const Row& row : rows) {
        const std::optional<AdsPath> parsed = parseAdsPath(row.path);
        ASSERT_TRUE(parsed.has_value()) << row.dn;
        EXPECT_EQ(parsed->host, row.host) << row.dn;
        EXPECT_EQ(parsed->port, row.port) << row.dn;
        EXPECT_EQ(parsed->dn, row.dn);
    }
}

TEST(ParseAdsPath, RefusesWhatIsNotServerSlashDn) {
    const std::vector<std::u16string> bad = {
        u"",
        u"LDAP://",
        u"LDAP:///CN=x",      // no server (an empty dnsHostName)
        u"LDAP://dc1/",       // no DN
        u"LDAP://dc1",        // no slash at all
        u"LDAP://CN=x,DC=y",  // a serverless path
        u"ldap://dc1/CN=x",   // the provider name is case-sensitive
        u"GC://dc1/CN=x",     // another provider
        u" LDAP://dc1/CN=x",
        u"LDAP://dc1:/CN=x",  // empty port
        u"LDAP://dc1:0/CN=x",
        u"LDAP://dc1:65536/CN=x",
        u"LDAP://dc1:123456/CN=x",
        u"LDAP://dc1:63x/CN=x",
        u"LDAP://:389/CN=x",  // a port without a host
        u"LDAP://::1/CN=x",   // an IPv6 literal without brackets
        u"LDAP://[::1/CN=x",
        u"LDAP://[]/CN=x",
        u"LDAP://[::1]x/CN=x",
        u"LDAP://dc1/CN=\xD800x",  // an unpaired surrogate cannot be sent
        u"LDAP://d\xDC00/CN=x",
    };
    for (const std::u16string& path : bad) {
        EXPECT_FALSE(parseAdsPath(path).has_value()) << path.size();
    }
}

}  // namespace
}  // namespace kestrel
