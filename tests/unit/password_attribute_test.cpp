#include "attr/password_attribute.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

// Every spelling under which the directory would take a value as a password must be
// recognised: a miss sends that password over an unsealed layer or shows it in the
// process list.
TEST(PasswordAttributeTest, RecognisesEverySpellingOfAPasswordAttribute) {
    struct Row {
        std::string attribute;
        bool password;
    };
    const std::vector<Row> rows{
        {"unicodepwd", true},
        {"unicodePwd", true},
        {"UNICODEPWD", true},
        {"bin##unicodepwd", true},
        {"unicoBIN##dePwd", true},
        {"unicodePwd;binary", true},
        {" unicodePwd", true},
        {"unicodePwd\t", true},
        {"1.2.840.113556.1.4.90", true},
        {"1.2.840.113556.1.4.90;binary", true},
        {"userPassword", true},
        {"2.5.4.35", true},
        {"bin##userPassword", true},
        {"#setpwd#", true},
        {"#SetPwd#", true},
        {"description", false},
        {"unicodePw", false},
        {"unicodePwdX", false},
        {"xunicodePwd", false},
        {"1.2.840.113556.1.4.9", false},
        {"1.2.840.113556.1.4.903", false},
        {"2.5.4.3", false},
        {"setpwd", false},
        {"", false},
        {"unicode pwd", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("[" + row.attribute + "]");
        EXPECT_EQ(carriesPassword(row.attribute), row.password);
        // What is searched in whole texts catches at least what the exact rule does,
        // with any delimiter and value after the name.
        if (row.password) {
            EXPECT_TRUE(mentionsPasswordAttribute(row.attribute));
            EXPECT_TRUE(mentionsPasswordAttribute(row.attribute + "::Secret-1"));
            EXPECT_TRUE(mentionsPasswordAttribute(row.attribute + "||+||Secret-1"));
        }
    }
}

TEST(PasswordAttributeTest, DirectoryAttributeNameIsWhatTheServerReads) {
    EXPECT_EQ(directoryAttributeName(" BIN##UnicodePwd;binary "), "unicodepwd");
    EXPECT_EQ(directoryAttributeName("sid##objectSid"), "objectsid");
    EXPECT_EQ(directoryAttributeName("description"), "description");
}

// Secrets a reader may see (and a deleted object may expose) never go into a file.
TEST(PasswordAttributeTest, SecretsAreKeyMaterialAsWellAsPasswords) {
    for (const char* secret : {"2.5.4.35", "ms-Mcs-AdmPwd", "msLAPS-Password", "unixUserPassword",
                               "msFVE-RecoveryPassword", "supplementalCredentials"}) {
        EXPECT_TRUE(carriesSecret(secret)) << secret;
    }
    for (const char* plain : {"description", "ms-Mcs-AdmPwdExpirationTime", "pwdLastSet"}) {
        EXPECT_FALSE(carriesSecret(plain)) << plain;
    }
}

TEST(PasswordAttributeTest, MentionsFindNamesAnywhereInAText) {
    EXPECT_TRUE(mentionsPasswordAttribute("#setpwd#Secret-1"));  // a delimiter short
    EXPECT_TRUE(mentionsPasswordAttribute("cn=unicodePwd-test,dc=x"));
    EXPECT_FALSE(mentionsPasswordAttribute("description::Hello"));
    EXPECT_FALSE(mentionsPasswordAttribute("-b"));
}

}  // namespace
}  // namespace kestrel
