#include "locator/server_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

#include "util/ascii_case.h"
#include "util/leading_number.h"

namespace kestrel {
namespace {

bool isIpv6Address(const std::string& text) {
    in6_addr address{};
    return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

constexpr int kHighestPort = 65535;

// The digits after "host:" in a URL: 1 to 65535, nothing else; 0 when not a port.
int urlPort(const std::string& text) {
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
        return 0;
    }
    const int port = std::stoi(text);
    return port <= kHighestPort ? port : 0;
}

// "ldap://host[:port]" or "ldaps://host[:port]"; any other text with "://" names no server.
ServerAddress parseUrl(const std::string& text) {
    ServerAddress address;
    address.url = true;
    const std::string lowered = asciiLower(text);
    std::string rest;
    if (lowered.starts_with("ldaps://")) {
        address.scheme = UrlScheme::Ldaps;
        rest = text.substr(8);
    } else if (lowered.starts_with("ldap://")) {
        rest = text.substr(7);
    } else {
        return address;
    }
    std::string portText;
    bool hasPort = false;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos) {
            return address;
        }
        address.host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            return address;
        }
        hasPort = !after.empty();
        portText = hasPort ? after.substr(1) : "";
        if (!isIpv6Address(address.host)) {
            return address;
        }
    } else {
        const auto colon = rest.find(':');
        address.host = rest.substr(0, colon);
        hasPort = colon != std::string::npos;
        portText = hasPort ? rest.substr(colon + 1) : "";
        if (!isHostName(address.host)) {
            return address;
        }
    }
    if (hasPort) {
        address.port = urlPort(portText);
        if (address.port == 0) {
            return address;
        }
    }
    address.valid = true;
    return address;
}

}  // namespace

int splitHostPort(std::string& server) {
    const auto colon = server.find(':');
    if (colon == std::string::npos) {
        return 0;
    }
    std::string portPart = server.substr(colon + 1);
    const auto nextColon = portPart.find(':');
    if (nextColon != std::string::npos) {
        portPart.resize(nextColon);
    }
    if (portPart.size() > 6) {
        portPart.resize(6);
    }
    server.resize(colon);
    return leadingNumber(portPart);
}

ServerAddress parseServerText(const std::string& text) {
    if (text.find("://") != std::string::npos) {
        return parseUrl(text);
    }
    ServerAddress address;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos) {
            return address;
        }
        address.host = text.substr(1, close - 1);
        std::string rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') {
            return address;
        }
        address.port = splitHostPort(rest);
        address.valid = isIpv6Address(address.host);
        return address;
    }
    if (std::count(text.begin(), text.end(), ':') > 1 && isIpv6Address(text)) {
        address.host = text;
        address.valid = true;
        return address;
    }
    address.host = text;
    address.port = splitHostPort(address.host);
    // A "/" would be cut off with the port ("dc1:389/x" read as dc1:389), so the text does
    // not name the server it shows.
    address.valid = isHostName(address.host) && text.find('/') == std::string::npos;
    return address;
}

bool isHostName(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
    });
}

}  // namespace kestrel
