// Sets a user's password ("#setpwd#"), apart from the run's own LDAP requests.
#pragma once

#include <cstdint>
#include <string>

#include "util/reporter.h"

namespace kestrel {

class PasswordSetter {
  public:
    virtual ~PasswordSetter() = default;

    // 0 on success, otherwise the failing step's HRESULT. Failures are reported here; the
    // caller only records the status.
    virtual std::int32_t setPassword(Reporter& reporter, const std::string& serverName,
                                     const std::string& dn, const std::string& password) = 0;
};

}  // namespace kestrel
