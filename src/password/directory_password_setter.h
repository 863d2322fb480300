// "#setpwd#": sets each target's password through the directory-object layer, in an
// operation of its own, apart from the run's LDAP session.
#pragma once

#include "password/directory_objects.h"
#include "password/password_setter.h"

namespace kestrel {

class DirectoryPasswordSetter final : public PasswordSetter {
  public:
    explicit DirectoryPasswordSetter(DirectoryObjects& objects) : objects_(objects) {}

    // Enters the object runtime on the first call that can (the only state kept between
    // calls), binds to "LDAP://" + server + "/" + DN as IADsUser, sets the password and
    // releases the object. Failures are reported here with the failing call's name.
    std::int32_t setPassword(Reporter& reporter, const std::string& serverName,
                             const std::string& dn, const std::string& password) override;

  private:
    DirectoryObjects& objects_;
    bool runtimeInitialised_ = false;
};

}  // namespace kestrel
