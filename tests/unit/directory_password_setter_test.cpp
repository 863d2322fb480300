#include "password/directory_password_setter.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "fake_ldap.h"
#include "password/wide_text.h"
#include "util/exit_status.h"

namespace kestrel {
namespace {

using fake::CapturedConsole;
using Lines = std::vector<std::string>;

std::string narrow(std::u16string_view text) {
    return wideToUtf8(text).value_or("(not UTF-16)");
}

// The directory-object layer as a script: records every call in order.
class FakeDirectoryObjects final : public DirectoryObjects {
  public:
    std::deque<HRESULT> initResults;  // one per CoInitializeEx; none left: S_OK
    HRESULT getObjectResult = S_OK;
    bool handOutObject = true;  // false: "succeed" without an object
    HRESULT setPasswordResult = S_OK;
    Lines log;

    HRESULT CoInitializeEx(void* reserved, std::uint32_t coInit) override {
        log.push_back(std::string("CoInitializeEx reserved=") + (reserved ? "set" : "null") +
                      " model=" + std::to_string(coInit));
        HRESULT hr = S_OK;
        if (!initResults.empty()) {
            hr = initResults.front();
            initResults.pop_front();
        }
        return hr;
    }

    HRESULT ADsGetObject(std::u16string_view path, const InterfaceId& iid,
                         std::unique_ptr<IADsUser>& object) override {
        log.push_back("ADsGetObject " + narrow(path) +
                      (iid == IID_IADsUser ? " IADsUser" : " (another interface)"));
        if (getObjectResult == S_OK && handOutObject) {
            object = std::make_unique<User>(*this);
        }
        return getObjectResult;
    }

  private:
    class User final : public IADsUser {
      public:
        explicit User(FakeDirectoryObjects& owner) : owner_(owner) {}
        HRESULT SetPassword(std::u16string_view password) override {
            owner_.log.push_back("SetPassword " + narrow(password));
            return owner_.setPasswordResult;
        }
        std::uint32_t Release() override {
            owner_.log.push_back("Release");
            return 0;
        }

      private:
        FakeDirectoryObjects& owner_;
    };
};

class DirectoryPasswordSetterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = std::setlocale(LC_CTYPE, nullptr);
        ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    }
    void TearDown() override { std::setlocale(LC_CTYPE, saved_.c_str()); }

    std::int32_t set(const std::string& dn, const std::string& password = "Secret-1",
                     const std::string& server = "dc1.homelab.net") {
        return setter.setPassword(captured.reporter, server, dn, password);
    }

    FakeDirectoryObjects objects;
    DirectoryPasswordSetter setter{objects};
    CapturedConsole captured;

  private:
    std::string saved_;
};

TEST_F(DirectoryPasswordSetterTest, EntersTheRuntimeBindsSetsAndReleasesInThatOrder) {
    EXPECT_EQ(set("CN=Kim,CN=Users,DC=homelab,DC=net"), 0);
    EXPECT_EQ(objects.log,
              (Lines{"CoInitializeEx reserved=null model=2",
                     "ADsGetObject LDAP://dc1.homelab.net/CN=Kim,CN=Users,DC=homelab,DC=net "
                     "IADsUser",
                     "SetPassword Secret-1", "Release"}));
    EXPECT_EQ(captured.both(), "");
}

TEST_F(DirectoryPasswordSetterTest, TheRuntimeIsEnteredOnceAndSaidSoOnceInDebug) {
    captured.reporter.debug = true;
    EXPECT_EQ(set("CN=a"), 0);
    EXPECT_EQ(set("CN=b"), 0);
    EXPECT_EQ(objects.log,
              (Lines{"CoInitializeEx reserved=null model=2",
                     "ADsGetObject LDAP://dc1.homelab.net/CN=a IADsUser", "SetPassword Secret-1",
                     "Release", "ADsGetObject LDAP://dc1.homelab.net/CN=b IADsUser",
                     "SetPassword Secret-1", "Release"}));
    EXPECT_EQ(captured.out(), "DEBUG: COM Initialized.\n");
    EXPECT_EQ(captured.err(), "");
}

TEST_F(DirectoryPasswordSetterTest, ARuntimeThatDoesNotStartIsTriedAgainNextTime) {
    objects.initResults = {S_FALSE, hresultFromBits(0x80004005u)};
    captured.reporter.debug = true;
    EXPECT_EQ(set("CN=a"), -1);
    EXPECT_EQ(set("CN=b"), -1);
    EXPECT_EQ(set("CN=c"), 0);
    EXPECT_EQ(captured.out(),
              " - ERROR: (CoInitializeEx) - 1\n"
              " - ERROR: (CoInitializeEx) - -2147467259\n"
              "DEBUG: COM Initialized.\n");
    EXPECT_EQ(captured.err(), "");
    EXPECT_EQ(objects.log,
              (Lines{"CoInitializeEx reserved=null model=2", "CoInitializeEx reserved=null model=2",
                     "CoInitializeEx reserved=null model=2",
                     "ADsGetObject LDAP://dc1.homelab.net/CN=c IADsUser", "SetPassword Secret-1",
                     "Release"}));
}

TEST_F(DirectoryPasswordSetterTest, ThePathJoinsServerAndDnWithoutEscaping) {
    struct Row {
        std::string server;
        std::string dn;
        std::string path;
    };
    const std::vector<Row> rows = {
        {"dc1", "CN=Smith\\, Kim,OU=A B,DC=x", "LDAP://dc1/CN=Smith\\, Kim,OU=A B,DC=x"},
        {"dc1", "CN=a/b,DC=x", "LDAP://dc1/CN=a/b,DC=x"},
        {"dc1", "CN=J\xc3\xbcrgen,DC=x", "LDAP://dc1/CN=J\xc3\xbcrgen,DC=x"},
        {"", "CN=x", "LDAP:///CN=x"},
        {"dc1", "", "LDAP://dc1/"},
    };
    ASSERT_EQ(set("CN=first"), 0);  // enters the runtime
    for (const Row& row : rows) {
        objects.log.clear();
        set(row.dn, "pw", row.server);
        EXPECT_EQ(objects.log,
                  (Lines{"ADsGetObject " + row.path + " IADsUser", "SetPassword pw", "Release"}));
    }
}

TEST_F(DirectoryPasswordSetterTest, ThePasswordIsPassedAsTyped) {
    set("CN=a", "\"Quoted\" P\xc3\xa4ss w0rd;");
    EXPECT_EQ(objects.log[2], "SetPassword \"Quoted\" P\xc3\xa4ss w0rd;");
}

// Each failure: the calls made, the status, and the exact lines on each stream.
struct FailureRow {
    HRESULT getObject;
    HRESULT setPassword;
    Lines calls;
    std::string out;
    std::string err;
};

TEST_F(DirectoryPasswordSetterTest, FailuresAreReportedWithTheFailingCallsName) {
    const std::string bind = "ADsGetObject LDAP://dc1.homelab.net/CN=x IADsUser";
    const std::vector<FailureRow> rows = {
        {hresultFromBits(0x80072030u),
         S_OK,
         {bind},
         "",
         " - ERROR: (ADsGetObject) (0x80072030) There is no such object on the server.\n"},
        {hresultFromBits(0x8007203Au),
         S_OK,
         {bind},
         "",
         " - ERROR: (ADsGetObject) (0x8007203a) The server is not operational.\n"},
        {E_NOINTERFACE,
         S_OK,
         {bind},
         "",
         " - ERROR: (ADsGetObject) (0x80004002) No such interface supported\n"},
        // The ADSI name and the unknown-code text have no line end of their own.
        {E_ADS_BAD_PATHNAME,
         S_OK,
         {bind},
         "adsi error\n",
         " - ERROR: (ADsGetObject) (0x80005000) E_ADS_BAD_PATHNAME\n"},
        {hresultFromBits(0x80005011u),
         S_OK,
         {bind},
         "adsi error\n",
         " - ERROR: (ADsGetObject) (0x80005011) \n"},
        {CO_E_NOTINITIALIZED,
         S_OK,
         {bind},
         "",
         " - ERROR: (ADsGetObject) (0x800401f0) Unknown Error: 0x800401f0\n"},
        {S_OK,
         hresultFromBits(0x800708C5u),
         {bind, "SetPassword Secret-1", "Release"},
         "",
         " - ERROR: (SetPassword) (0x800708c5) The password does not meet the password policy "
         "requirements. Check the minimum password length, password complexity and password "
         "history requirements.\n"},
        {S_OK,
         hresultFromBits(0x80070005u),
         {bind, "SetPassword Secret-1", "Release"},
         "",
         " - ERROR: (SetPassword) (0x80070005) Access is denied.\n"},
        {S_OK,
         hresultFromBits(0x80072035u),
         {bind, "SetPassword Secret-1", "Release"},
         "",
         " - ERROR: (SetPassword) (0x80072035) The server is unwilling to process the "
         "request.\n"},
        {S_OK,
         E_ADS_OBJECT_UNBOUND,
         {bind, "SetPassword Secret-1", "Release"},
         "adsi error\n",
         " - ERROR: (SetPassword) (0x80005009) E_ADS_OBJECT_UNBOUND\n"},
        {S_OK,
         hresultFromBits(0x80072095u),
         {bind, "SetPassword Secret-1", "Release"},
         "",
         " - ERROR: (SetPassword) (0x80072095) A directory service error has occurred.\n"},
    };
    for (const FailureRow& row : rows) {
        FakeDirectoryObjects rowObjects;
        rowObjects.getObjectResult = row.getObject;
        rowObjects.setPasswordResult = row.setPassword;
        DirectoryPasswordSetter rowSetter(rowObjects);
        CapturedConsole reporter;
        const HRESULT expected = row.getObject != S_OK ? row.getObject : row.setPassword;
        EXPECT_EQ(rowSetter.setPassword(reporter.reporter, "dc1.homelab.net", "CN=x", "Secret-1"),
                  expected);
        rowObjects.log.erase(rowObjects.log.begin());  // CoInitializeEx
        EXPECT_EQ(rowObjects.log, row.calls) << row.err;
        EXPECT_EQ(reporter.out(), row.out);
        EXPECT_EQ(reporter.err(), row.err);
        // The "adsi error" line comes before the report.
        EXPECT_EQ(reporter.both(), row.out + row.err);
    }
}

TEST_F(DirectoryPasswordSetterTest, TheExitStatusOfAPolicyRefusalIsItsLowByte) {
    objects.setPasswordResult = hresultFromBits(0x800708C5u);
    EXPECT_EQ(processExitStatus(set("CN=x")), 197);
}

TEST_F(DirectoryPasswordSetterTest, ABindingThatHandsOutNoObjectIsAFailure) {
    objects.handOutObject = false;
    EXPECT_EQ(set("CN=x"), E_POINTER);
    EXPECT_EQ(objects.log.back(), "ADsGetObject LDAP://dc1.homelab.net/CN=x IADsUser");
    EXPECT_EQ(captured.err(), " - ERROR: (ADsGetObject) (0x80004003) Invalid pointer\n");
}

TEST_F(DirectoryPasswordSetterTest, TextInvalidInTheLocaleIsNeverSent) {
    // An invalid UTF-8 byte in the DN: no object can be named by it.
    EXPECT_EQ(set("CN=\xff", "Secret-1"), E_ADS_BAD_PATHNAME);
    EXPECT_EQ(objects.log, (Lines{"CoInitializeEx reserved=null model=2"}));
    EXPECT_EQ(captured.both(),
              "adsi error\n - ERROR: (ADsGetObject) (0x80005000) E_ADS_BAD_PATHNAME\n");

    // An invalid password: bound, released, nothing set.
    objects.log.clear();
    CapturedConsole second;
    EXPECT_EQ(setter.setPassword(second.reporter, "dc1", "CN=x", "Secret-\xff"),
              hresultFromBits(0x80070459u));
    EXPECT_EQ(objects.log, (Lines{"ADsGetObject LDAP://dc1/CN=x IADsUser", "Release"}));
    EXPECT_EQ(second.err(),
              " - ERROR: (SetPassword) (0x80070459) No mapping for the Unicode character exists "
              "in the target multi-byte code page.\n");
}

}  // namespace
}  // namespace kestrel
