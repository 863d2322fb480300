// -dryrun: the run goes as far as a real one (bind, RootDSE, the reads a mode needs), but
// each write request is printed as the LDIF change record it would be, and none is sent.
#pragma once

#include <memory>
#include <string>

#include "directory/ldap_client.h"
#include "password/password_setter.h"
#include "util/reporter.h"

namespace kestrel {

// Wraps the run's bound connection: binds, options and searches go to the directory;
// deletes, renames, modifies and adds are written as LDIF records and answered with
// success. Password values are never written, a comment says where one would be set.
std::unique_ptr<LdapConnection> previewConnection(std::unique_ptr<LdapConnection> real,
                                                  Reporter& reporter);

// Stands in for the password step: a comment that a password would be set, no value.
class PreviewPasswordSetter final : public PasswordSetter {
  public:
    std::int32_t setPassword(Reporter& reporter, const std::string& serverName,
                             const std::string& dn, const std::string& password) override;
};

// The preview's last line, written as an LDIF comment so that the output stays a valid file.
inline constexpr const char* kNothingSentText = "Dry run: no change was sent to the directory.";

}  // namespace kestrel
