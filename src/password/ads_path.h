// Directory-object paths of the form "LDAP://server[:port]/DN".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

inline constexpr int kAdsDefaultPort = 389;

// One path taken apart, in UTF-8 as the LDAP session needs it.
struct AdsPath {
    std::string host;  // an IPv6 literal keeps its brackets
    int port = kAdsDefaultPort;
    std::string dn;  // everything after the server's "/", exactly as written: no unescaping
};

// The parts of `path`, or nothing when it is not "LDAP://" + server + "/" + DN with a
// non-empty server and DN (the caller reports E_ADS_BAD_PATHNAME). The server ends at the
// first "/", so a "/" inside the DN needs no escape.
std::optional<AdsPath> parseAdsPath(std::u16string_view path);

}  // namespace kestrel
