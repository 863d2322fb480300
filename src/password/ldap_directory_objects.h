// The directory-object layer over the program's LDAP interface: each bound user object
// owns an LDAP session of its own, always sealed.
#pragma once

#include "password/directory_objects.h"
#include "session/ldap_client.h"

namespace kestrel {

class LdapDirectoryObjects final : public DirectoryObjects {
  public:
    // `timeLimitSeconds` bounds connecting, the bind and every request of the sessions this
    // layer opens (0 or less: no limit).
    LdapDirectoryObjects(LdapLibrary& library, int timeLimitSeconds)
        : library_(library), timeLimitSeconds_(timeLimitSeconds) {}

    // Records that the runtime is entered; there is nothing else to start.
    HRESULT CoInitializeEx(void* reserved, std::uint32_t coInit) override;

    // Opens a session to the path's server (port 389 unless the path names one), requires
    // a sealing layer, binds with the caller's Kerberos credentials, learns from the
    // RootDSE whether the server is Active Directory style, and reads the object: it must
    // exist and be a user. Failures are HRESULTs: E_ADS_BAD_PATHNAME for a malformed path,
    // E_NOINTERFACE for another interface or an object that is not a user,
    // CO_E_NOTINITIALIZED before CoInitializeEx, and the mapped LDAP failures (for example
    // 0x80072030 no such object, 0x8007203A server not operational).
    HRESULT ADsGetObject(std::u16string_view path, const InterfaceId& iid,
                         std::unique_ptr<IADsUser>& object) override;

  private:
    LdapLibrary& library_;
    int timeLimitSeconds_;
    bool initialised_ = false;
};

}  // namespace kestrel
