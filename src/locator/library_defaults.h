// Whether libldap has a server of its own to go to: a URI (or HOST) in its configuration
// files or its environment. Without one it would go to ldap://localhost.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// Whether the text of an ldap.conf or ldaprc file sets URI or HOST (keywords in any letter
// case, with a value; '#' lines and blank lines are comments).
bool confTextNamesServer(std::string_view text);

// Where libldap looks, in its own order: the system file, the user's ldaprc files ($HOME/
// ldaprc, $HOME/.ldaprc, ./ldaprc) unless set-user-ID, the files LDAPCONF and LDAPRC name, and
// the variables LDAPURI and LDAPHOST; LDAPNOINIT makes it read none of them.
struct LibraryConfigSources {
    std::function<std::optional<std::string>(const char* name)> environment;
    std::function<std::optional<std::string>(const std::string& path)> readFile;
    std::string systemFile;
    bool setUserId = false;
};

bool libraryNamesServer(const LibraryConfigSources& sources);

// The sources of this process.
LibraryConfigSources processConfigSources();

}  // namespace kestrel
