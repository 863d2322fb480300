#include "directory/complete_read.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_ldap.h"

namespace kestrel {
namespace {

using fake::FakeLdapLibrary;
using fake::SearchAnswer;

TEST(CompleteReadTest, RangeOptionsAsTheServerWritesThem) {
    struct Row {
        std::string name;
        bool ranged;
        std::string attribute;
        long first;
        long last;  // -1: to the end
    };
    const std::vector<Row> rows{
        {"member;range=0-1499", true, "member", 0, 1499},
        {"Member;Range=1500-*", true, "Member", 1500, -1},
        {"member", false, "", 0, 0},
        {"member;range=a-*", false, "", 0, 0},
        {"member;range=5", false, "", 0, 0},
        {"member;range=0-1;binary", false, "", 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto range = valueRange(row.name);
        ASSERT_EQ(range.has_value(), row.ranged);
        if (range) {
            EXPECT_EQ(range->name, row.attribute);
            EXPECT_EQ(range->first, row.first);
            EXPECT_EQ(range->last.value_or(-1), row.last);
        }
    }
}

// A Windows DC answers 1,500 values at a time: the rest is asked for until the range ends
// in "*", and the entry carries all of them under the plain name.
TEST(CompleteReadTest, RangedValuesAreReadToTheEnd) {
    FakeLdapLibrary library;
    LdapSession session = library.session();
    library.searchAnswers = {
        SearchAnswer{0, {LdapEntry{"cn=g", {{"cn", {"g"}}, {"member;range=0-1", {"a", "b"}}}}}},
        SearchAnswer{0, {LdapEntry{"cn=g", {{"member;range=2-3", {"c", "d"}}}}}},
        SearchAnswer{0, {LdapEntry{"cn=g", {{"member;range=4-*", {"e"}}}}}},
    };
    SearchRequest request;
    request.base = "cn=g";
    std::vector<LdapEntry> entries;
    std::string why;
    ASSERT_EQ(readComplete(*session.handle, request, entries, why), 0) << why;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(*entries.front().values("member"),
              (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(entries.front().values("member;range=0-1"), nullptr);
    const auto searches = library.callsOf(fake::Call::Kind::Search);
    ASSERT_EQ(searches.size(), 3u);
    EXPECT_EQ(searches[1].search.attributes, std::vector<std::string>{"member;range=2-*"});
    EXPECT_EQ(searches[2].search.attributes, std::vector<std::string>{"member;range=4-*"});
}

// A read that cannot be completed fails: values lost in silence would be lost for good.
TEST(CompleteReadTest, AnIncompleteReadFails) {
    struct Row {
        const char* what;
        SearchAnswer rest;
    };
    const std::vector<Row> rows{
        {"the rest cannot be read", SearchAnswer{51, {}}},
        {"the attribute is missing", SearchAnswer{0, {LdapEntry{"cn=g", {}}}}},
        {"another range", SearchAnswer{0, {LdapEntry{"cn=g", {{"member;range=9-*", {"x"}}}}}}},
        {"no progress", SearchAnswer{0, {LdapEntry{"cn=g", {{"member;range=2-1", {}}}}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakeLdapLibrary library;
        LdapSession session = library.session();
        library.searchAnswers = {
            SearchAnswer{0, {LdapEntry{"cn=g", {{"member;range=0-1", {"a", "b"}}}}}}, row.rest};
        std::vector<LdapEntry> entries;
        std::string why;
        SearchRequest request;
        request.base = "cn=g";
        EXPECT_NE(readComplete(*session.handle, request, entries, why), 0);
        EXPECT_NE(why.find("member"), std::string::npos) << why;
    }
}

// A subtree is read in pages; a DC that cuts unpaged searches then answers all of it.
TEST(CompleteReadTest, ASubtreeIsReadInPages) {
    FakeLdapLibrary library;
    library.maxPageSize = 1;
    LdapSession session = library.session();
    library.searchAnswers = {SearchAnswer{0, {LdapEntry{"ou=p", {}}, LdapEntry{"cn=c,ou=p", {}}}}};
    SearchRequest request;
    request.base = "ou=p";
    request.scope = kLdapScopeSubtree;
    std::vector<LdapEntry> entries;
    std::string why;
    EXPECT_EQ(readComplete(*session.handle, request, entries, why), 0) << why;
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(library.callsOf(fake::Call::Kind::Search).front().search.pageSize,
              kCompleteReadPageSize);
}

// Each page goes on with its ranged values complete before the next page is asked for, and
// a page refused by the taker stops the read with the taker's code.
TEST(CompleteReadTest, ASubtreeIsHandedOnAPageAtATime) {
    for (const int refused : {0, kLdapLocalError}) {
        SCOPED_TRACE(refused);
        FakeLdapLibrary library;
        LdapSession session = library.session();
        std::vector<LdapEntry> tree{{"cn=g,ou=p", {{"member;range=0-0", {"a"}}}}};
        tree.resize(kCompleteReadPageSize + 1, LdapEntry{"cn=c,ou=p", {}});
        library.searchAnswers = {
            SearchAnswer{0, tree},
            SearchAnswer{0, {LdapEntry{"cn=g,ou=p", {{"member;range=1-*", {"b"}}}}}}};
        std::vector<std::size_t> pages;
        SearchRequest request;
        request.base = "ou=p";
        request.scope = kLdapScopeSubtree;
        std::string why = "unchanged";
        const auto take = [&](std::vector<LdapEntry>& page) {
            if (pages.empty()) {
                EXPECT_EQ(*page.front().values("member"), (std::vector<std::string>{"a", "b"}));
            }
            pages.push_back(page.size());
            return refused;
        };
        EXPECT_EQ(readCompletePages(*session.handle, request, take, why), refused);
        EXPECT_EQ(pages, refused == 0 ? (std::vector<std::size_t>{kCompleteReadPageSize, 1})
                                      : std::vector<std::size_t>{kCompleteReadPageSize});
        EXPECT_EQ(why, "unchanged");
    }
}

}  // namespace
}  // namespace kestrel
