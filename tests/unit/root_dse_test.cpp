#include "connection/root_dse.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "fake_ldap.h"

namespace kestrel {
namespace {

using fake::CapturedConsole;
using fake::FakeLdapLibrary;
using fake::SearchAnswer;
using Lines = std::vector<std::string>;

constexpr const char* kIntegration = "1.2.840.113556.1.4.1791";
constexpr const char* kActiveDirectory = "1.2.840.113556.1.4.800";
constexpr const char* kWindows2003 = "1.2.840.113556.1.4.1670";
constexpr const char* kApplicationMode = "1.2.840.113556.1.4.1851";

TEST(DecodeRootDse, ServerKindAndModeNames) {
    struct Row {
        std::set<std::string> capabilities;
        int domainLevel;
        int forestLevel;
        std::string kind;
        std::string domainMode;
        std::string forestMode;
    };
    const std::vector<Row> rows = {
        {{}, 2, 2, "", "", ""},
        {{"1.2.3.4"}, 0, 0, "", "", ""},
        {{kIntegration}, 0, 0, "Unknown Windows LDAP", "", ""},
        {{kIntegration, kActiveDirectory}, 0, 0, "Windows 2000", "", ""},
        {{kActiveDirectory}, 2, 2, "Windows 2000", "", ""},
        {{kActiveDirectory, kApplicationMode}, 2, 2, "Active Directory Application Mode", "", ""},
        {{kApplicationMode, kIntegration}, 0, 0, "Active Directory Application Mode", "", ""},
        {{kActiveDirectory, kWindows2003},
         2,
         0,
         "Windows Server 2003",
         "Windows Server 2003 Domain Mode",
         "Windows 2000 Mixed Forest Mode"},
        {{kWindows2003},
         0,
         1,
         "Windows Server 2003",
         "Windows 2000 Mixed Mode",
         "Windows Server 2003 Interim Forest Mode"},
        {{kWindows2003, kApplicationMode, kActiveDirectory, kIntegration},
         1,
         2,
         "Windows Server 2003",
         "Windows Server 2003 Interim Domain Mode",
         "Windows Server 2003 Forest Mode"},
        {{kWindows2003}, 3, 3, "Windows Server 2003", "", ""},
        {{kWindows2003}, -1, 7, "Windows Server 2003", "", ""},
        // Exact text match: a longer OID sharing the prefix is not the capability.
        {{"1.2.840.113556.1.4.8000", "1.2.840.113556.1.4.16701"}, 2, 2, "", "", ""},
    };
    for (const Row& row : rows) {
        RootDseInfo info;
        info.supportedCapabilities = row.capabilities;
        info.domainFunctionality = row.domainLevel;
        info.forestFunctionality = row.forestLevel;
        decodeRootDse(info);
        EXPECT_EQ(info.serverKind, row.kind) << row.kind;
        EXPECT_EQ(info.domainMode, row.domainMode) << row.kind;
        EXPECT_EQ(info.forestMode, row.forestMode) << row.kind;
        EXPECT_EQ(info.capLdapIntegration, row.capabilities.count(kIntegration) == 1);
        EXPECT_EQ(info.capActiveDirectory, row.capabilities.count(kActiveDirectory) == 1);
        EXPECT_EQ(info.capWindows2003, row.capabilities.count(kWindows2003) == 1);
        EXPECT_EQ(info.capApplicationMode, row.capabilities.count(kApplicationMode) == 1);
    }
}

class GatherRootDseTest : public ::testing::Test {
  protected:
    RootDseInfo gather(LdapEntry entry) {
        library.searchAnswers.push_back(SearchAnswer{0, {std::move(entry)}});
        RootDseInfo info;
        gatherRootDse(captured.reporter, session, info);
        return info;
    }

    CapturedConsole captured;
    FakeLdapLibrary library;
    LdapSession session = library.session();
};

TEST_F(GatherRootDseTest, SearchesTheRootDseForAllAttributes) {
    gather(LdapEntry{});
    EXPECT_EQ(library.calls(),
              (Lines{"search base=[] scope=0 filter=(objectClass=*) attrs=[] size=0 controls=[]"}));
}

TEST_F(GatherRootDseTest, CopiesTheFirstValueOfEachAttribute) {
    const RootDseInfo info = gather(LdapEntry{
        "",
        {
            {"schemaNamingContext", {"CN=Schema,CN=Configuration,DC=homelab,DC=net", "x"}},
            {"configurationNamingContext", {"CN=Configuration,DC=homelab,DC=net"}},
            {"defaultNamingContext", {"DC=homelab,DC=net"}},
            {"rootDomainNamingContext", {"DC=root,DC=net"}},
            {"dnsHostName", {"dc1.homelab.net", "dc2.homelab.net"}},
            {"dsServiceName", {"CN=NTDS Settings,CN=DC1"}},
            {"highestCommittedUsn", {"004711"}},
            {"ldapServiceName", {"homelab.net:dc1$@HOMELAB.NET"}},
            {"serverName", {"CN=DC1,CN=Servers"}},
            {"currentTime", {"20050601120000.0Z"}},
            {"namingContexts",
             {"DC=homelab,DC=net", "CN=Configuration,DC=homelab,DC=net",
              "CN=Schema,CN=Configuration,DC=homelab,DC=net"}},
            {"supportedCapabilities", {kWindows2003, kActiveDirectory, kActiveDirectory}},
            {"domainFunctionality", {"2"}},
            {"forestFunctionality", {"1"}},
        },
    });
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.schemaNamingContext, "CN=Schema,CN=Configuration,DC=homelab,DC=net");
    EXPECT_EQ(info.configurationNamingContext, "CN=Configuration,DC=homelab,DC=net");
    EXPECT_EQ(info.defaultNamingContext, "DC=homelab,DC=net");
    EXPECT_EQ(info.rootDomainNamingContext, "DC=root,DC=net");
    EXPECT_EQ(info.dnsHostName, "dc1.homelab.net");
    EXPECT_EQ(info.dsServiceName, "CN=NTDS Settings,CN=DC1");
    EXPECT_EQ(info.highestCommittedUsn, "004711");
    EXPECT_EQ(info.ldapServiceName, "homelab.net:dc1$@HOMELAB.NET");
    EXPECT_EQ(info.serverName, "CN=DC1,CN=Servers");
    EXPECT_EQ(info.currentTime, "20050601120000.0Z");
    EXPECT_EQ(info.namingContextCount, 3u);
    EXPECT_EQ(info.namingContexts, (Lines{"DC=homelab,DC=net", "CN=Configuration,DC=homelab,DC=net",
                                          "CN=Schema,CN=Configuration,DC=homelab,DC=net"}));
    // A repeated capability is held once.
    EXPECT_EQ(info.supportedCapabilities, (std::set<std::string>{kActiveDirectory, kWindows2003}));
    EXPECT_EQ(info.domainFunctionality, 2);
    EXPECT_EQ(info.forestFunctionality, 1);
    EXPECT_EQ(info.serverKind, "Windows Server 2003");
    EXPECT_EQ(info.domainMode, "Windows Server 2003 Domain Mode");
    EXPECT_EQ(info.forestMode, "Windows Server 2003 Interim Forest Mode");
    EXPECT_EQ(captured.both(), "");
}

TEST_F(GatherRootDseTest, AttributeNamesMatchInAnyCase) {
    const RootDseInfo info = gather(LdapEntry{
        "", {{"DNSHOSTNAME", {"dc1.homelab.net"}}, {"namingcontexts", {"DC=a", "DC=b"}}}});
    EXPECT_EQ(info.dnsHostName, "dc1.homelab.net");
    EXPECT_EQ(info.namingContextCount, 2u);
}

TEST_F(GatherRootDseTest, MissingAttributesKeepTheirStartValues) {
    const RootDseInfo info = gather(LdapEntry{"", {{"dnsHostName", {}}, {"currentTime", {"t"}}}});
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.dnsHostName, "");
    EXPECT_EQ(info.currentTime, "t");
    EXPECT_EQ(info.namingContextCount, 0u);
    EXPECT_TRUE(info.namingContexts.empty());
    EXPECT_TRUE(info.supportedCapabilities.empty());
    EXPECT_EQ(info.serverKind, "");
    EXPECT_EQ(info.domainMode, "");
    EXPECT_EQ(info.forestMode, "");
    EXPECT_EQ(info.domainFunctionality, 0);
    EXPECT_EQ(info.forestFunctionality, 0);
}

TEST_F(GatherRootDseTest, FunctionalityLevelsReadLikeAtoi) {
    struct Row {
        std::string text;
        int level;
    };
    const std::vector<Row> rows = {
        {"2", 2}, {" 1", 1}, {"+2", 2}, {"-1", -1}, {"2abc", 2}, {"abc", 0}, {"", 0}, {"007", 7},
    };
    for (const Row& row : rows) {
        const RootDseInfo info = gather(LdapEntry{"",
                                                  {{"supportedCapabilities", {kWindows2003}},
                                                   {"domainFunctionality", {row.text}},
                                                   {"forestFunctionality", {row.text}}}});
        EXPECT_EQ(info.domainFunctionality, row.level) << "[" << row.text << "]";
        EXPECT_EQ(info.forestFunctionality, row.level) << "[" << row.text << "]";
    }
}

TEST_F(GatherRootDseTest, AFailedSearchIsReportedAndLeavesTheRecordInvalid) {
    struct Row {
        int code;
        std::string lines;
    };
    const std::vector<Row> rows = {
        {kLdapServerDown, "LDAP_SEARCH_S: 0x51\nLDAP_SEARCH_S: Can't contact LDAP server\n\n"},
        {50, "LDAP_SEARCH_S: 0x32\nLDAP_SEARCH_S: Insufficient access\n\n"},
        {kLdapTimeout, "LDAP_SEARCH_S: 0x55\nLDAP_SEARCH_S: Timed out\n\n"},
    };
    for (const Row& row : rows) {
        CapturedConsole reporter;
        library.searchAnswers.push_back(SearchAnswer{row.code, {fake::rootDseEntry("dc9")}});
        RootDseInfo info;
        info.dnsHostName = "left over";
        info.valid = true;
        gatherRootDse(reporter.reporter, session, info);
        EXPECT_FALSE(info.valid);
        EXPECT_EQ(info.dnsHostName, "");
        EXPECT_EQ(reporter.err(), row.lines);
        EXPECT_EQ(reporter.out(), "");
    }
    // The session is the driver's to close.
    EXPECT_EQ(library.openHandles, 1);
}

TEST_F(GatherRootDseTest, ARereadStartsFromAnEmptyRecord) {
    RootDseInfo info = gather(fake::rootDseEntry("dc1.homelab.net"));
    EXPECT_EQ(info.serverKind, "Windows 2000");
    library.searchAnswers.push_back(SearchAnswer{0, {LdapEntry{"", {{"dnsHostName", {"dc2"}}}}}});
    gatherRootDse(captured.reporter, session, info);
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.dnsHostName, "dc2");
    EXPECT_EQ(info.defaultNamingContext, "");
    EXPECT_EQ(info.serverKind, "");
    EXPECT_FALSE(info.capActiveDirectory);
}

}  // namespace
}  // namespace kestrel
