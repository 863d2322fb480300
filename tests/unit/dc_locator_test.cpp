// Finding a DC without -h: whether libldap has a server of its own, the SRV name asked for,
// and the order in which the records' targets are tried.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "session/dc_locator.h"
#include "session/dns_srv.h"
#include "session/library_defaults.h"

namespace kestrel {
namespace {

using Names = std::vector<std::string>;

Names targets(const std::vector<SrvRecord>& records) {
    Names names;
    for (const SrvRecord& record : records) {
        names.push_back(record.target);
    }
    return names;
}

TEST(OrderSrvRecords, LowerPriorityFirstThenWeightedDraws) {
    struct Row {
        std::string name;
        std::vector<SrvRecord> records;
        std::deque<unsigned> draws;   // answers of random(n), in turn
        std::vector<unsigned> asked;  // the n of each draw
        Names order;
    };
    const std::vector<Row> rows = {
        {"priorities ascend whatever the answer's order",
         {{20, 0, 389, "c"}, {0, 0, 389, "a"}, {10, 0, 389, "b"}},
         {0, 0, 0},
         {0, 0, 0},
         {"a", "b", "c"}},
        // Weights 10 and 30: running sums 10 and 40. A draw of 11 passes the first.
        {"a draw beyond the first weight takes the second",
         {{0, 10, 389, "light"}, {0, 30, 389, "heavy"}},
         {11, 0},
         {40, 10},
         {"heavy", "light"}},
        {"a draw within the first weight takes the first",
         {{0, 10, 389, "light"}, {0, 30, 389, "heavy"}},
         {10, 0},
         {40, 30},
         {"light", "heavy"}},
        // Weight 0 goes first in the running sum, so only a draw of 0 picks it.
        {"weight 0 is picked by a draw of 0 only",
         {{0, 5, 389, "five"}, {0, 0, 389, "zero"}},
         {1, 0},
         {5, 0},
         {"five", "zero"}},
        {"a target of \".\" (no service there) is dropped",
         {{0, 0, 389, "."}, {1, 0, 389, "dc1"}},
         {0},
         {0},
         {"dc1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::deque<unsigned> draws = row.draws;
        std::vector<unsigned> asked;
        const std::vector<SrvRecord> ordered = orderSrvRecords(row.records, [&](unsigned most) {
            asked.push_back(most);
            const unsigned draw = draws.front();
            draws.pop_front();
            return draw;
        });
        EXPECT_EQ(targets(ordered), row.order);
        EXPECT_EQ(asked, row.asked);
    }
}

TEST(DcLocatorQuery, IsTheRealmsDomainInLowerCase) {
    EXPECT_EQ(dcLocatorQuery("HOMELAB.NET"), "_ldap._tcp.dc._msdcs.homelab.net");
}

TEST(ConfTextNamesServer, UriOrHostWithAValue) {
    struct Row {
        std::string text;
        bool names;
    };
    const std::vector<Row> rows = {
        {"URI ldap://dc1\n", true},
        {"  uri\tldaps://dc1 ldaps://dc2", true},
        {"HOST dc1\n", true},
        {"TLS_CACERT /etc/ssl/certs/ca-certificates.crt\nBASE dc=x\n", false},
        {"#URI ldap://dc1\n", false},
        {"URI\n", false},
        {"URIS ldap://dc1\n", false},
        {"", false},
        {"BASE dc=x\r\nURI ldap://dc1\r\n", true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(confTextNamesServer(row.text), row.names) << row.text;
    }
}

TEST(LibraryNamesServer, LooksWhereLibldapLooks) {
    struct Row {
        std::string name;
        std::map<std::string, std::string> environment;
        std::map<std::string, std::string> files;
        bool setUserId;
        bool names;
    };
    const std::string uri = "URI ldap://dc1\n";
    const std::vector<Row> rows = {
        {"nothing anywhere", {{"HOME", "/h"}}, {{"/sys.conf", "BASE dc=x\n"}}, false, false},
        {"the system file", {}, {{"/sys.conf", uri}}, false, true},
        {"LDAPURI", {{"LDAPURI", "ldap://dc1"}}, {}, false, true},
        {"LDAPHOST", {{"LDAPHOST", "dc1"}}, {}, false, true},
        {"an empty LDAPURI", {{"LDAPURI", ""}}, {}, false, false},
        {"$HOME/.ldaprc", {{"HOME", "/h"}}, {{"/h/.ldaprc", uri}}, false, true},
        {"$HOME/ldaprc", {{"HOME", "/h"}}, {{"/h/ldaprc", uri}}, false, true},
        {"ldaprc in the current folder", {}, {{"ldaprc", uri}}, false, true},
        {"LDAPCONF", {{"LDAPCONF", "/c.conf"}}, {{"/c.conf", uri}}, false, true},
        {"LDAPRC", {{"LDAPRC", "my.rc"}, {"HOME", "/h"}}, {{"/h/.my.rc", uri}}, false, true},
        {"LDAPNOINIT: libldap reads nothing",
         {{"LDAPNOINIT", "1"}, {"LDAPURI", "ldap://dc1"}},
         {{"/sys.conf", uri}},
         false,
         false},
        {"set-user-ID: only the system file",
         {{"LDAPURI", "ldap://dc1"}, {"HOME", "/h"}},
         {{"/h/.ldaprc", uri}},
         true,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LibraryConfigSources sources;
        sources.environment = [&](const char* name) -> std::optional<std::string> {
            const auto found = row.environment.find(name);
            return found == row.environment.end() ? std::nullopt
                                                  : std::optional<std::string>(found->second);
        };
        sources.readFile = [&](const std::string& path) -> std::optional<std::string> {
            const auto found = row.files.find(path);
            return found == row.files.end() ? std::nullopt
                                            : std::optional<std::string>(found->second);
        };
        sources.systemFile = "/sys.conf";
        sources.setUserId = row.setUserId;
        EXPECT_EQ(libraryNamesServer(sources), row.names);
    }
}

}  // namespace
}  // namespace kestrel
