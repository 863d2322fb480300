#include "locator/server_address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

TEST(SplitHostPort, CutsAtTheFirstColonAndReadsAtMostSixCharacters) {
    struct Row {
        std::string server;
        std::string host;
        int port;
    };
    const std::vector<Row> rows = {
        {"dc1", "dc1", 0},
        {"dc1:636", "dc1", 636},
        {"dc1:", "dc1", 0},
        {"dc1:abc", "dc1", 0},
        {"dc1:12ab", "dc1", 12},
        {"dc1: 42", "dc1", 42},
        {"dc1:+7", "dc1", 7},
        {"dc1:-7", "dc1", -7},
        {"dc1:636:999", "dc1", 636},
        {"dc1::636", "dc1", 0},
        {"dc1:1234567", "dc1", 123456},
        {"dc1:0000389", "dc1", 38},
        {":389", "", 389},
        {"", "", 0},
    };
    for (const Row& row : rows) {
        std::string server = row.server;
        EXPECT_EQ(splitHostPort(server), row.port) << row.server;
        EXPECT_EQ(server, row.host) << row.server;
    }
}

TEST(ParseServerText, ReadsHostAndPortAndValidatesTheHost) {
    struct Row {
        std::string text;
        std::string host;
        int port;
        bool valid;
    };
    const std::vector<Row> rows = {
        {"dc1.homelab.net", "dc1.homelab.net", 0, true},
        {"dc1.homelab.net:3268", "dc1.homelab.net", 3268, true},
        {"10.0.0.5:636", "10.0.0.5", 636, true},
        {"dc_1.corp-x.example", "dc_1.corp-x.example", 0, true},
        // An IPv6 literal is read whole; only brackets let a port follow it.
        {"::1", "::1", 0, true},
        {"fe80::1:2", "fe80::1:2", 0, true},
        {"[::1]", "::1", 0, true},
        {"[::1]:636", "::1", 636, true},
        // The port is read as -h reads it: leading digits, nothing when none.
        {"dc1:", "dc1", 0, true},
        {"dc1:12ab", "dc1", 12, true},
        {"dc1:636:x", "dc1", 636, true},
        // Anything that would not reach exactly the named server.
        {"", "", 0, false},
        {":636", "", 636, false},
        {"dc1/x", "dc1/x", 0, false},
        {"dc1 dc2", "dc1 dc2", 0, false},
        {"admin@dc1", "admin@dc1", 0, false},
        {"d\xc3\xa9", "d\xc3\xa9", 0, false},
        {"[::1", "", 0, false},
        {"[::1]x", "::1", 0, false},
        {"[]", "", 0, false},
        {"[dc1]", "dc1", 0, false},
    };
    for (const Row& row : rows) {
        const ServerAddress address = parseServerText(row.text);
        EXPECT_EQ(address.valid, row.valid) << row.text;
        if (row.valid) {
            EXPECT_EQ(address.host, row.host) << row.text;
            EXPECT_EQ(address.port, row.port) << row.text;
        }
    }
}

// URLs as -h takes them (switches ignore case, so "-H ldaps://dc1" arrives here too): the
// scheme decides TLS, and the text names one server or none.
TEST(ParseServerText, ReadsLdapAndLdapsUrls) {
    struct Row {
        std::string text;
        bool valid;
        std::string host;
        int port;
        UrlScheme scheme;
    };
    const auto ldap = UrlScheme::Ldap;
    const auto ldaps = UrlScheme::Ldaps;
    const std::vector<Row> rows = {
        {"ldap://dc1.homelab.net", true, "dc1.homelab.net", 0, ldap},
        {"ldaps://dc1.homelab.net", true, "dc1.homelab.net", 0, ldaps},
        {"LDAPS://DC1:3269", true, "DC1", 3269, ldaps},
        {"ldap://10.0.0.5:389", true, "10.0.0.5", 389, ldap},
        {"ldaps://[::1]", true, "::1", 0, ldaps},
        {"ldaps://[fe80::1:2]:65535", true, "fe80::1:2", 65535, ldaps},
        // Anything a URL could add (a path, a query, another URL) or leave open.
        {"ldaps://dc1/", false, "", 0, ldaps},
        {"ldap://dc1/dc=x", false, "", 0, ldap},
        {"ldap://dc1?x", false, "", 0, ldap},
        {"ldap://dc1 ldap://dc2", false, "", 0, ldap},
        {"ldap://", false, "", 0, ldap},
        {"ldap://:389", false, "", 0, ldap},
        {"ldap://dc1:", false, "", 0, ldap},
        {"ldap://dc1:0", false, "", 0, ldap},
        {"ldap://dc1:65536", false, "", 0, ldap},
        {"ldap://dc1:636x", false, "", 0, ldap},
        {"ldap://dc1:+636", false, "", 0, ldap},
        {"ldap://::1", false, "", 0, ldap},
        {"ldap://[dc1]", false, "", 0, ldap},
        {"ldap://[::1]x", false, "", 0, ldap},
        {"ldap://user@dc1", false, "", 0, ldap},
        {"ldap://dc%31", false, "", 0, ldap},
        {"ldapi://%2fvar%2frun%2fslapd", false, "", 0, ldap},
        {"http://dc1", false, "", 0, ldap},
        {"ldaps:/dc1", false, "", 0, ldap},
        {"dc1:389/x", false, "", 0, ldap},
        {"dc1/x:389", false, "", 0, ldap},
    };
    for (const Row& row : rows) {
        const ServerAddress address = parseServerText(row.text);
        EXPECT_EQ(address.valid, row.valid) << row.text;
        if (row.valid) {
            EXPECT_TRUE(address.url) << row.text;
            EXPECT_EQ(address.host, row.host) << row.text;
            EXPECT_EQ(address.port, row.port) << row.text;
            EXPECT_EQ(address.scheme, row.scheme) << row.text;
        }
    }
}

}  // namespace
}  // namespace kestrel
