#include "attr/password_attribute.h"

#include <array>

#include "attr/binary_prefix.h"
#include "util/ascii_case.h"

namespace kestrel {
namespace {

// The directory's password attributes, in the folded form directoryAttributeName gives.
// userPassword counts: AD treats a write of it as a password set when its heuristics
// allow, and elsewhere it is the password itself.
constexpr std::array<std::string_view, 5> kPasswordAttributes{
    "unicodepwd",
    "1.2.840.113556.1.4.90",  // unicodePwd's attribute OID
    "userpassword",
    "2.5.4.35",  // userPassword's attribute OID (RFC 4519)
    "#setpwd#",
};

// Attributes that hold a secret a reader may be allowed to see (a local administrator's
// password, a recovery key, a trust's or a secret object's keys): never copied into a
// file. Display names, folded.
constexpr std::array<std::string_view, 20> kSecretAttributes{
    "ms-mcs-admpwd",
    "mslaps-password",
    "mslaps-encryptedpassword",
    "mslaps-encryptedpasswordhistory",
    "mslaps-encrypteddsrmpassword",
    "mslaps-encrypteddsrmpasswordhistory",
    "msfve-recoverypassword",
    "msfve-keypackage",
    "mstpm-ownerinformation",
    "unixuserpassword",
    "mssfu30password",
    "trustauthincoming",
    "trustauthoutgoing",
    "currentvalue",
    "priorvalue",
    "supplementalcredentials",
    "dbcspwd",
    "ntpwdhistory",
    "lmpwdhistory",
    "msds-managedpassword",
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string directoryAttributeName(std::string_view attribute) {
    std::string name = unprefixedAttribute(asciiLower(attribute));
    if (const auto options = name.find(';'); options != std::string::npos) {
        name.resize(options);
    }
    while (!name.empty() && isBlank(name.back())) {
        name.pop_back();
    }
    std::size_t first = 0;
    while (first < name.size() && isBlank(name[first])) {
        ++first;
    }
    return name.substr(first);
}

bool carriesPassword(std::string_view attribute) {
    const std::string name = directoryAttributeName(attribute);
    for (const std::string_view password : kPasswordAttributes) {
        if (name == password) {
            return true;
        }
    }
    return false;
}

bool carriesSecret(std::string_view attribute) {
    if (carriesPassword(attribute)) {
        return true;
    }
    const std::string name = directoryAttributeName(attribute);
    for (const std::string_view secret : kSecretAttributes) {
        if (name == secret) {
            return true;
        }
    }
    return false;
}

bool mentionsPasswordAttribute(std::string_view text) {
    const std::string folded = unprefixedAttribute(asciiLower(text));
    for (const std::string_view password : kPasswordAttributes) {
        if (folded.find(password) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace kestrel
