// Reading a server text ("host", "host:port", IPv6 literals, ldap:// and ldaps:// URLs): the
// one reader of server names in the program, for -h and for the server a password is set on.
#pragma once

#include <string>

#include "directory/ldap_client.h"

namespace kestrel {

inline constexpr int kDefaultLdapPort = 389;
inline constexpr int kDefaultLdapsPort = 636;

// If `server` holds a colon, cuts it there and returns the port written after it
// (0 when none); otherwise returns 0 and leaves the text unchanged.
int splitHostPort(std::string& server);

// What a server text names: a host, the port written after it (0 when none) and how it is
// reached.
struct ServerAddress {
    std::string host;
    int port = 0;
    bool valid = false;  // the host names exactly one server
    bool url = false;    // written as an ldap:// or ldaps:// URL
    UrlScheme scheme = UrlScheme::Ldap;
};

// Reads "host", "host:port", an IPv6 literal ("::1") or a bracketed one ("[::1]",
// "[::1]:636"), or a URL "ldap://host[:port]" or "ldaps://host[:port]" (the scheme in any
// letter case, IPv6 in brackets, a port of 1 to 65535 in digits, nothing after it). Valid
// only when the host is a DNS name or IPv4 address (letters, digits, '-', '.', '_') or an
// IPv6 address, and the text holds no "/" outside such a URL: anything else would be cut
// or reinterpreted on its way into an LDAP URL and reach another server than the one
// named.
ServerAddress parseServerText(const std::string& text);

// A DNS name or IPv4 address: letters, digits, '-', '.' and '_' only.
bool isHostName(const std::string& text);

}  // namespace kestrel
