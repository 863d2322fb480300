// The component-object runtime and directory-service object interface that password
// setting goes through. Linux has neither, so the program carries its own layer with the
// calls, identifiers and status values of the platform's; the password setter talks only
// to this interface, and tests put a recording fake in its place.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "password/hresult.h"

namespace kestrel {

// An interface identifier (GUID) in its published field layout.
struct InterfaceId {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::array<std::uint8_t, 8> data4;

    friend constexpr bool operator==(const InterfaceId&, const InterfaceId&) = default;
};

// IADsUser: {3E37E320-17E2-11CF-ABC4-02608C9E7553}.
inline constexpr InterfaceId IID_IADsUser{
    0x3E37E320, 0x17E2, 0x11CF, {0xAB, 0xC4, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};

// CoInitializeEx concurrency models.
inline constexpr std::uint32_t COINIT_MULTITHREADED = 0;
inline constexpr std::uint32_t COINIT_APARTMENTTHREADED = 2;

// A bound user object. Release ends the binding; an object that is destroyed without
// Release ends it too, so no path leaks the connection behind it.
class IADsUser {
  public:
    virtual ~IADsUser() = default;

    // Sets (resets) the password: the administrator's operation, no old password needed.
    virtual HRESULT SetPassword(std::u16string_view password) = 0;

    // IUnknown::Release: returns the references left (0: the object is unbound).
    virtual std::uint32_t Release() = 0;
};

class DirectoryObjects {
  public:
    virtual ~DirectoryObjects() = default;

    virtual HRESULT CoInitializeEx(void* reserved, std::uint32_t coInit) = 0;

    // Binds to the object named by `path` ("LDAP://server/DN") through interface `iid`.
    // On success `object` holds it; on failure `object` is left empty.
    virtual HRESULT ADsGetObject(std::u16string_view path, const InterfaceId& iid,
                                 std::unique_ptr<IADsUser>& object) = 0;
};

}  // namespace kestrel
