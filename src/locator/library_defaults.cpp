#include "locator/library_defaults.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "util/ascii_case.h"

namespace kestrel {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The files libldap's user configuration reads for the name `file`.
std::vector<std::string> userFiles(const LibraryConfigSources& sources, const std::string& file) {
    std::vector<std::string> paths;
    if (const std::optional<std::string> home = sources.environment("HOME");
        home && !home->empty()) {
        paths.push_back(*home + "/" + file);
        paths.push_back(*home + "/." + file);
    }
    paths.push_back(file);
    return paths;
}

}  // namespace

bool confTextNamesServer(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && isBlank(line.front())) {
            line.remove_prefix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::size_t keywordEnd = 0;
        while (keywordEnd < line.size() && !isBlank(line[keywordEnd])) {
            ++keywordEnd;
        }
        const std::string keyword = asciiLower(line.substr(0, keywordEnd));
        std::string_view value = line.substr(keywordEnd);
        while (!value.empty() && isBlank(value.front())) {
            value.remove_prefix(1);
        }
        if ((keyword == "uri" || keyword == "host") && !value.empty()) {
            return true;
        }
    }
    return false;
}

bool libraryNamesServer(const LibraryConfigSources& sources) {
    if (sources.environment("LDAPNOINIT")) {
        return false;
    }
    const auto fileNamesServer = [&](const std::string& path) {
        const std::optional<std::string> text = sources.readFile(path);
        return text && confTextNamesServer(*text);
    };
    if (fileNamesServer(sources.systemFile)) {
        return true;
    }
    if (sources.setUserId) {
        return false;  // libldap reads nothing else then
    }
    for (const std::string& path : userFiles(sources, "ldaprc")) {
        if (fileNamesServer(path)) {
            return true;
        }
    }
    if (const auto conf = sources.environment("LDAPCONF"); conf && fileNamesServer(*conf)) {
        return true;
    }
    if (const auto rc = sources.environment("LDAPRC"); rc && !rc->empty()) {
        for (const std::string& path : userFiles(sources, *rc)) {
            if (fileNamesServer(path)) {
                return true;
            }
        }
    }
    for (const char* variable : {"LDAPURI", "LDAPHOST"}) {
        if (const auto value = sources.environment(variable); value && !value->empty()) {
            return true;
        }
    }
    return false;
}

LibraryConfigSources processConfigSources() {
    LibraryConfigSources sources;
    sources.environment = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    };
    sources.readFile = [](const std::string& path) -> std::optional<std::string> {
        std::ifstream file(path);
        if (!file) {
            return std::nullopt;
        }
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    };
    // Where Debian's libldap keeps its system file.
    sources.systemFile = "/etc/ldap/ldap.conf";
    sources.setUserId = geteuid() != getuid();
    return sources;
}

}  // namespace kestrel
