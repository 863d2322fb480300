// Finding a DC without -h: whether libldap has a server of its own, the SRV name asked for,
// and the order in which the records' targets are tried.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "locator/dc_locator.h"
#include "locator/dns_srv.h"
#include "locator/library_defaults.h"

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

// Over every draw the first call of random(total) can give, how often each target comes
// first: RFC 2782 puts weight 0 first, so exactly the draw of 0 picks it.
TEST(OrderSrvRecords, EveryDrawPicksInProportionToWeight) {
    struct Row {
        std::vector<SrvRecord> records;
        std::map<std::string, unsigned> firstPicks;
    };
    const std::vector<Row> rows = {
        {{{0, 5, 389, "five"}, {0, 0, 389, "zero"}}, {{"five", 5}, {"zero", 1}}},
        {{{0, 10, 389, "a"}, {0, 0, 389, "z"}, {0, 30, 389, "b"}},
         {{"a", 10}, {"b", 30}, {"z", 1}}},
    };
    for (const Row& row : rows) {
        std::map<std::string, unsigned> firstPicks;
        unsigned total = 0;
        for (unsigned draw = 0; draw <= total; ++draw) {
            unsigned calls = 0;
            const std::vector<SrvRecord> ordered = orderSrvRecords(row.records, [&](unsigned most) {
                total = calls == 0 ? most : total;
                return calls++ == 0 ? draw : 0;
            });
            ++firstPicks[ordered.front().target];
        }
        EXPECT_EQ(firstPicks, row.firstPicks) << row.records.front().target;
    }
}

using Bytes = std::vector<unsigned char>;

Bytes operator+(Bytes left, const Bytes& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

Bytes u16(unsigned value) {
    return {static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
}

// A name in labels; the root when none.
Bytes name(const std::vector<std::string>& labels) {
    Bytes bytes;
    for (const std::string& label : labels) {
        bytes.push_back(static_cast<unsigned char>(label.size()));
        bytes.insert(bytes.end(), label.begin(), label.end());
    }
    return bytes + Bytes{0};
}
// A compression pointer to the name at `offset`.
Bytes pointer(unsigned offset) {
    return u16(0xC000 | offset);
}

constexpr unsigned kQuestionName = 12;  // where the question's name starts
constexpr unsigned kFirstTarget = 48;   // after the header, question, record head, 6 bytes
constexpr unsigned kSrv = 33;
constexpr unsigned kA = 1;

// A response with the question "_ldap._tcp.x IN SRV" and `count` answers said in the header.
Bytes answer(unsigned count, const Bytes& records) {
    return u16(0x1234) + u16(0x8180) + u16(1) + u16(count) + u16(0) + u16(0) +
           name({"_ldap", "_tcp", "x"}) + u16(kSrv) + u16(1) + records;
}

// A record of `type` holding `data`, owned by the question's name unless told.
Bytes record(unsigned type, const Bytes& data, const Bytes& owner = pointer(kQuestionName)) {
    return owner + u16(type) + u16(1) + u16(0) + u16(600) +
           u16(static_cast<unsigned>(data.size())) + data;
}

Bytes srv(unsigned priority, unsigned weight, const Bytes& target) {
    return u16(priority) + u16(weight) + u16(389) + target;
}

Names srvLines(const std::vector<SrvRecord>& records) {
    Names lines;
    for (const SrvRecord& record : records) {
        lines.push_back(std::to_string(record.priority) + " " + std::to_string(record.weight) +
                        " " + std::to_string(record.port) + " " + record.target);
    }
    return lines;
}

TEST(SrvRecordsOfAnswer, ReadsEachFieldWithinItsRecord) {
    const Bytes dc1 = srv(0, 100, name({"dc1", "x"}));
    const Bytes valid = answer(1, record(kSrv, dc1));
    struct Row {
        std::string name;
        Bytes message;
        Names records;
    };
    const std::vector<Row> rows = {
        {"several records, a compressed target; an A record and the root (no service) passed over",
         answer(4,
                record(kSrv, dc1) + record(kA, {10, 0, 0, 1}) +
                    record(kSrv, srv(1, 5, Bytes{3, 'd', 'c', '2'} + pointer(kQuestionName + 11))) +
                    record(kSrv, srv(2, 0, name({})))),
         {"0 100 389 dc1.x", "1 5 389 dc2.x"}},
        {"a record of 6 bytes does not take the next owner as its target",
         answer(2, record(kSrv, srv(0, 0, {})) + record(kA, {10, 0, 0, 1}, name({"dc9", "x"}))),
         {}},
        {"a target running into the next record",
         answer(2, record(kSrv, srv(0, 0, {3, 'd', 'c', '1'})) +
                       record(kA, {10, 0, 0, 1}, name({"x"}))),
         {}},
        {"a short record is passed over, the next one read",
         answer(2, record(kSrv, {0, 0, 0}) + record(kSrv, dc1)),
         {"0 100 389 dc1.x"}},
        {"a target that is no host name", answer(1, record(kSrv, srv(0, 0, name({"a b"})))), {}},
        {"a compression loop", answer(1, record(kSrv, srv(0, 0, pointer(kFirstTarget)))), {}},
        {"more answers counted than the data holds", answer(3, record(kSrv, dc1)), {}},
        {"cut inside a record", Bytes(valid.begin(), valid.end() - 3), {}},
        {"cut inside the header", Bytes(valid.begin(), valid.begin() + 5), {}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(srvLines(srvRecordsOfAnswer(row.message)), row.records) << row.name;
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
