#include "session/server_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

#include "util/leading_number.h"

namespace kestrel {
namespace {

bool isIpv6Address(const std::string& text) {
    in6_addr address{};
    return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

bool isHostName(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
    });
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
    address.valid = isHostName(address.host);
    return address;
}

}  // namespace kestrel
