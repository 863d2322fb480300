// LDAP URLs of servers, written and read by libldap's own URL code.
#pragma once

#include <optional>
#include <string>

#include "directory/ldap_client.h"

namespace kestrel {

// The URL of exactly one server, built by the library rather than pasted together, so
// that no character of the host can start a path, a query or a second URL; nothing when
// the URL would not read back as this host and port alone.
std::optional<std::string> serverUrl(const std::string& host, int port, UrlScheme scheme);

// A blank- or comma-separated list of URLs with every port replaced by `port`, each URL
// keeping its scheme ("-p 389" must reach 389 and must not turn ldaps:// into ldap://);
// nothing when the list is empty or one of them is not an LDAP URL.
std::optional<std::string> urlsOnPort(const std::string& urls, int port);

// True when every URL of a blank- or comma-separated list is ldaps://.
bool allLdaps(const std::string& urls);

}  // namespace kestrel
