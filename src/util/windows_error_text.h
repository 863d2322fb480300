// System message texts for the Windows error codes and HRESULTs the program can produce.
#pragma once

#include <cstdint>
#include <string>

#include "util/reporter.h"

namespace kestrel {

// The message for a Win32 error code or an HRESULT, ending with a newline.
// HRESULTs of facility 7 (FACILITY_WIN32) are looked up by their low 16 bits;
// a code with no known message gives "Unknown Error\n".
std::string windowsErrorText(std::int32_t code);

// Writes "<label>(<code>) <system text>" on standard output; returns the code.
std::int32_t reportWindowsError(Reporter& reporter, const std::string& label, std::int32_t code);

// HRESULT_FROM_WIN32: the HRESULT a Win32 error code is reported as.
constexpr std::int32_t hresultFromWin32(std::uint32_t win32) {
    if (static_cast<std::int32_t>(win32) <= 0) {
        return static_cast<std::int32_t>(win32);
    }
    return static_cast<std::int32_t>((win32 & 0x0000FFFFu) | (7u << 16) | 0x80000000u);
}

}  // namespace kestrel
