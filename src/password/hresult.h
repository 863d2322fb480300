// COM-style result codes of the directory-object layer, spelled as the platform spells them.
#pragma once

#include <cstdint>

namespace kestrel {

// Negative values are failures; 0 and other non-negative values are successes.
using HRESULT = std::int32_t;

constexpr HRESULT hresultFromBits(std::uint32_t bits) {
    return static_cast<HRESULT>(bits);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOINTERFACE = hresultFromBits(0x80004002u);
inline constexpr HRESULT E_POINTER = hresultFromBits(0x80004003u);
inline constexpr HRESULT E_INVALIDARG = hresultFromBits(0x80070057u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = hresultFromBits(0x800401F0u);
inline constexpr HRESULT E_ADS_BAD_PATHNAME = hresultFromBits(0x80005000u);
inline constexpr HRESULT E_ADS_OBJECT_UNBOUND = hresultFromBits(0x80005009u);

}  // namespace kestrel
