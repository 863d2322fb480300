#include "password/ldap_directory_objects.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fake_ldap.h"

namespace kestrel {
namespace {

using fake::Call;
using fake::FakeLdapLibrary;
using fake::SearchAnswer;
using Lines = std::vector<std::string>;

constexpr int kTimeLimit = 120;
const std::string kUserDn = "CN=Kim,CN=Users,DC=homelab,DC=net";
const std::u16string kUserPath = u"LDAP://dc1.homelab.net/CN=Kim,CN=Users,DC=homelab,DC=net";

const std::string kOpen = "init host=dc1.homelab.net port=389";
const std::string kRootDseSearch =
    "search base=[] scope=0 filter=(objectClass=*) attrs=[supportedCapabilities] size=0 "
    "controls=[]";
const std::string kUserSearch = "search base=[" + kUserDn +
                                "] scope=0 filter=(objectClass=*) attrs=[objectClass] size=0 "
                                "controls=[]";

LdapEntry rootDse(bool activeDirectory) {
    return LdapEntry{"",
                     {{"supportedCapabilities",
                       activeDirectory ? std::vector<std::string>{"1.2.840.113556.1.4.1670",
                                                                  "1.2.840.113556.1.4.800"}
                                       : std::vector<std::string>{}}}};
}

LdapEntry withClasses(const std::string& dn, std::vector<std::string> classes) {
    return LdapEntry{dn, {{"objectClass", std::move(classes)}}};
}

HRESULT hr(std::uint32_t bits) {
    return hresultFromBits(bits);
}

// What the caller's output pointer held before a binding: a failed binding must clear it.
class Placeholder final : public IADsUser {
  public:
    HRESULT SetPassword(std::u16string_view) override { return S_OK; }
    std::uint32_t Release() override { return 0; }
};

class LdapDirectoryObjectsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(objects.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    }

    // The two searches of a binding: the RootDSE, then the object.
    void answerSearches(bool activeDirectory, std::vector<std::string> classes) {
        ldap.searchAnswers.push_back(SearchAnswer{0, {rootDse(activeDirectory)}});
        ldap.searchAnswers.push_back(SearchAnswer{0, {withClasses(kUserDn, std::move(classes))}});
    }

    HRESULT bind(const std::u16string& path = kUserPath) {
        return objects.ADsGetObject(path, IID_IADsUser, user);
    }

    FakeLdapLibrary ldap;
    LdapDirectoryObjects objects{ldap, kTimeLimit};
    std::unique_ptr<IADsUser> user;
};

TEST_F(LdapDirectoryObjectsTest, BindingRequiresSealingBeforeTheBindAndReadsTheObject) {
    answerSearches(true, {"top", "person", "organizationalPerson", "user"});
    ASSERT_EQ(bind(), S_OK);
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(ldap.calls(),
              (Lines{kOpen, "time limit 120", "option 0x11=3", "option 0x8=0", "option 0x96=1",
                     "bind negotiate", kRootDseSearch, kUserSearch}));
    EXPECT_EQ(ldap.openHandles, 1);
}

TEST_F(LdapDirectoryObjectsTest, OnActiveDirectorySetPasswordReplacesUnicodePwdQuoted) {
    answerSearches(true, {"top", "user"});
    ASSERT_EQ(bind(), S_OK);
    ldap.log.clear();
    // A password that begins with a quote is still quoted: it is the password as typed.
    EXPECT_EQ(user->SetPassword(u"\"P\u00e4\U0001F600"), S_OK);
    EXPECT_EQ(ldap.calls(), (Lines{"modify [" + kUserDn +
                                       "] controls=[] mods=0x82 unicodePwd "
                                       "[22002200"
                                       "5000"
                                       "e400"
                                       "3dd8"
                                       "00de"
                                       "2200]",
                                   "result id=1 timeout=120"}));
    EXPECT_EQ(user->Release(), 0u);
    EXPECT_EQ(ldap.calls().back(), "unbind");
    EXPECT_EQ(ldap.openHandles, 0);
}

TEST_F(LdapDirectoryObjectsTest, OnOtherServersSetPasswordIsThePasswordModifyOperation) {
    answerSearches(false, {"top", "person", "inetOrgPerson"});
    ASSERT_EQ(bind(), S_OK);
    ldap.log.clear();
    EXPECT_EQ(user->SetPassword(u"P\u00e4ss"), S_OK);
    ASSERT_EQ(ldap.count(Call::Kind::PasswordModify), 1u);
    const Call call = ldap.callsOf(Call::Kind::PasswordModify).front();
    EXPECT_EQ(call.dn, kUserDn);
    EXPECT_EQ(call.password, "P\xc3\xa4ss");  // UTF-8, unquoted
    EXPECT_EQ(ldap.count(Call::Kind::Modify), 0u);

    ldap.passwordModifyResult = 50;
    EXPECT_EQ(user->SetPassword(u"x"), hr(0x80070005u));
}

TEST_F(LdapDirectoryObjectsTest, SetPasswordFailuresAreMappedHresults) {
    struct Row {
        fake::RequestAnswer answer;
        std::uint32_t expected;
    };
    const std::vector<Row> rows = {
        {fake::result(19,
                      "0000052D: Constraint violation - check_password_restrictions: the "
                      "password is too short. It should be equal or longer than 7 characters!"),
         0x800708C5u},
        {fake::result(19, "0000202F: something else"), 0x8007202Fu},
        {fake::result(50, "error in module acl: insufficient access rights during LDB_MODIFY (50)"),
         0x80070005u},
        {fake::result(53,
                      "00002035: setup_io: it's not allowed to set the NT hash password "
                      "directly'"),
         0x80072035u},
        {fake::noAnswerInTime(), 0x800705B4u},
        {fake::sendFailure(kLdapServerDown), 0x8007203Au},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary rowLdap;
        LdapDirectoryObjects rowObjects(rowLdap, kTimeLimit);
        ASSERT_EQ(rowObjects.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        rowLdap.searchAnswers.push_back(SearchAnswer{0, {rootDse(true)}});
        rowLdap.searchAnswers.push_back(SearchAnswer{0, {withClasses(kUserDn, {"user"})}});
        std::unique_ptr<IADsUser> rowUser;
        ASSERT_EQ(rowObjects.ADsGetObject(kUserPath, IID_IADsUser, rowUser), S_OK);
        rowLdap.answerRequests({row.answer});
        EXPECT_EQ(static_cast<std::uint32_t>(rowUser->SetPassword(u"Secret-1")), row.expected)
            << row.answer.diagnostic;
    }
}

TEST_F(LdapDirectoryObjectsTest, BindingFailuresLeaveNoObjectAndNoOpenSession) {
    struct Row {
        const char* what;
        void (*script)(FakeLdapLibrary&);
        std::uint32_t expected;
        bool bound;  // whether the negotiate bind was attempted
    };
    const std::vector<Row> rows = {
        {"unreachable server", [](FakeLdapLibrary& l) { l.bindResult = kLdapServerDown; },
         0x8007203Au, true},
        {"no ticket", [](FakeLdapLibrary& l) { l.bindResult = kLdapLocalError; }, 0x8007203Bu,
         true},
        {"no handle", [](FakeLdapLibrary& l) { l.initError = kLdapParamError; }, 0x8007203Fu,
         false},
        // Without a sealing layer the session is never bound, so no password can follow.
        {"sealing refused",
         [](FakeLdapLibrary& l) { l.optionResults[kLdapOptEncrypt] = kLdapParamError; },
         0x8007203Fu, false},
        {"RootDSE unreadable",
         [](FakeLdapLibrary& l) {
             l.searchAnswers.push_back(SearchAnswer{kLdapServerDown, {}});
         },
         0x8007203Au, true},
        {"no such object",
         [](FakeLdapLibrary& l) {
             l.searchAnswers.push_back(SearchAnswer{0, {rootDse(true)}});
             l.searchAnswers.push_back(SearchAnswer{32, {}});
         },
         0x80072030u, true},
        {"no entry",
         [](FakeLdapLibrary& l) {
             l.searchAnswers.push_back(SearchAnswer{0, {rootDse(true)}});
             l.searchAnswers.push_back(SearchAnswer{0, {}});
         },
         0x80072030u, true},
        {"an OU",
         [](FakeLdapLibrary& l) {
             l.searchAnswers.push_back(SearchAnswer{0, {rootDse(true)}});
             l.searchAnswers.push_back(
                 SearchAnswer{0, {withClasses(kUserDn, {"top", "organizationalUnit"})}});
         },
         0x80004002u, true},
        // Active Directory users are of class user; a bare person (a contact) is not one.
        {"an AD contact",
         [](FakeLdapLibrary& l) {
             l.searchAnswers.push_back(SearchAnswer{0, {rootDse(true)}});
             l.searchAnswers.push_back(SearchAnswer{
                 0, {withClasses(kUserDn, {"top", "person", "organizationalPerson", "contact"})}});
         },
         0x80004002u, true},
    };
    for (const Row& row : rows) {
        FakeLdapLibrary rowLdap;
        row.script(rowLdap);
        LdapDirectoryObjects rowObjects(rowLdap, kTimeLimit);
        ASSERT_EQ(rowObjects.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        std::unique_ptr<IADsUser> rowUser = std::make_unique<Placeholder>();
        EXPECT_EQ(
            static_cast<std::uint32_t>(rowObjects.ADsGetObject(kUserPath, IID_IADsUser, rowUser)),
            row.expected)
            << row.what;
        EXPECT_EQ(rowUser, nullptr) << row.what;
        EXPECT_EQ(rowLdap.openHandles, 0) << row.what;
        EXPECT_EQ(rowLdap.count(Call::Kind::NegotiateBind), row.bound ? 1u : 0u) << row.what;
    }
}

TEST_F(LdapDirectoryObjectsTest, RefusalsBeforeAnyConnection) {
    struct Row {
        const char* what;
        std::u16string path;
        InterfaceId iid;
        HRESULT expected;
    };
    const InterfaceId otherInterface{
        0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    const std::vector<Row> rows = {
        {"IUnknown", kUserPath, otherInterface, E_NOINTERFACE},
        {"no server", u"LDAP:///CN=x", IID_IADsUser, E_ADS_BAD_PATHNAME},
        {"no DN", u"LDAP://dc1/", IID_IADsUser, E_ADS_BAD_PATHNAME},
        {"other provider", u"WinNT://dc1/kim", IID_IADsUser, E_ADS_BAD_PATHNAME},
    };
    for (const Row& row : rows) {
        user = std::make_unique<Placeholder>();
        EXPECT_EQ(objects.ADsGetObject(row.path, row.iid, user), row.expected) << row.what;
        EXPECT_EQ(user, nullptr) << row.what;
    }
    EXPECT_EQ(ldap.count(Call::Kind::Init), 0u);

    FakeLdapLibrary fresh;
    LdapDirectoryObjects notEntered(fresh, kTimeLimit);
    EXPECT_EQ(notEntered.ADsGetObject(kUserPath, IID_IADsUser, user), CO_E_NOTINITIALIZED);
    EXPECT_EQ(fresh.count(Call::Kind::Init), 0u);
}

TEST_F(LdapDirectoryObjectsTest, CoInitializeExChecksItsArguments) {
    int reserved = 0;
    EXPECT_EQ(objects.CoInitializeEx(&reserved, COINIT_APARTMENTTHREADED), E_INVALIDARG);
    EXPECT_EQ(objects.CoInitializeEx(nullptr, 7), E_INVALIDARG);
    EXPECT_EQ(objects.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
}

TEST_F(LdapDirectoryObjectsTest, APathWithAPortConnectsThere) {
    answerSearches(true, {"user"});
    ASSERT_EQ(bind(u"LDAP://dc1.homelab.net:3268/" +
                   std::u16string(u"CN=Kim,CN=Users,DC=homelab,DC=net")),
              S_OK);
    EXPECT_EQ(ldap.calls().front(), "init host=dc1.homelab.net port=3268");
}

TEST_F(LdapDirectoryObjectsTest, AReleasedObjectIsUnboundAndAnUnreleasedOneClosesItsSession) {
    answerSearches(true, {"user"});
    ASSERT_EQ(bind(), S_OK);
    user->Release();
    EXPECT_EQ(ldap.openHandles, 0);
    EXPECT_EQ(user->SetPassword(u"x"), E_ADS_OBJECT_UNBOUND);
    EXPECT_EQ(ldap.count(Call::Kind::Modify), 0u);

    answerSearches(true, {"user"});
    ASSERT_EQ(bind(), S_OK);
    EXPECT_EQ(ldap.openHandles, 1);
    user.reset();
    EXPECT_EQ(ldap.openHandles, 0);
}

}  // namespace
}  // namespace kestrel
