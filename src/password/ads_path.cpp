#include "password/ads_path.h"

#include <algorithm>

#include "password/wide_text.h"

namespace kestrel {
namespace {

constexpr std::u16string_view kPrefix = u"LDAP://";

// "digits" in 1..65535, or nothing.
std::optional<int> parsePort(std::u16string_view digits) {
    if (digits.empty() || digits.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (const char16_t c : digits) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        port = port * 10 + (c - u'0');
    }
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

}  // namespace

std::optional<AdsPath> parseAdsPath(std::u16string_view path) {
    // The provider name is case-sensitive, as the platform's is.
    if (path.substr(0, kPrefix.size()) != kPrefix) {
        return std::nullopt;
    }
    const std::u16string_view rest = path.substr(kPrefix.size());
    const std::size_t slash = rest.find(u'/');
    if (slash == std::u16string_view::npos) {
        return std::nullopt;
    }
    const std::u16string_view server = rest.substr(0, slash);
    const std::u16string_view dn = rest.substr(slash + 1);
    if (server.empty() || dn.empty()) {
        return std::nullopt;
    }

    std::u16string_view host = server;
    std::optional<std::u16string_view> portText;
    if (server.front() == u'[') {
        const std::size_t close = server.find(u']');
        if (close == std::u16string_view::npos) {
            return std::nullopt;
        }
        host = server.substr(0, close + 1);
        const std::u16string_view after = server.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != u':') {
                return std::nullopt;
            }
            portText = after.substr(1);
        }
    } else if (const auto colons = std::count(server.begin(), server.end(), u':'); colons == 1) {
        const std::size_t colon = server.find(u':');
        host = server.substr(0, colon);
        portText = server.substr(colon + 1);
    } else if (colons > 1) {
        return std::nullopt;  // an IPv6 literal needs brackets to be told from its port
    }
    if (host.empty() || host == u"[]") {
        return std::nullopt;
    }

    AdsPath parsed;
    if (portText) {
        const std::optional<int> port = parsePort(*portText);
        if (!port) {
            return std::nullopt;
        }
        parsed.port = *port;
    }
    std::optional<std::string> hostUtf8 = wideToUtf8(host);
    std::optional<std::string> dnUtf8 = wideToUtf8(dn);
    if (!hostUtf8 || !dnUtf8) {
        return std::nullopt;
    }
    parsed.host = std::move(*hostUtf8);
    parsed.dn = std::move(*dnUtf8);
    return parsed;
}

}  // namespace kestrel
