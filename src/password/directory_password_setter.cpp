#include "password/directory_password_setter.h"

#include <memory>
#include <optional>

#include "password/adsi_error.h"
#include "password/wide_text.h"
#include "util/windows_error_text.h"

namespace kestrel {
namespace {

constexpr const char* kGetObjectLabel = " - ERROR: (ADsGetObject) ";
constexpr const char* kSetPasswordLabel = " - ERROR: (SetPassword) ";
constexpr std::uint32_t kErrorNoUnicodeTranslation = 1113;

// Whether the report's text is a system message, which carries its own line end: the
// rules of adsiErrorText that end in windowsErrorText.
bool textEndsLine(HRESULT hr) {
    const auto bits = static_cast<std::uint32_t>(hr);
    const std::uint32_t facility = (bits >> 16) & 0x1FFFu;
    return bits != 0 && (bits & 0x5000u) != 0x5000u &&
           (facility == 0 || facility == 7 || facility == 8);
}

// reportAdsiError writes no line end of its own; an ADSI name or an unknown code's text
// would otherwise run into whatever is written next.
HRESULT reportFailure(Reporter& reporter, const char* label, HRESULT hr) {
    reportAdsiError(reporter, label, hr);
    if (!textEndsLine(hr)) {
        reporter.err() << "\n";
    }
    return hr;
}

}  // namespace

std::int32_t DirectoryPasswordSetter::setPassword(Reporter& reporter, const std::string& serverName,
                                                  const std::string& dn,
                                                  const std::string& password) {
    if (!runtimeInitialised_) {
        const HRESULT hr = objects_.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (hr != S_OK) {
            // S_FALSE too: the runtime was not entered by this call, so try again next time.
            reporter.out() << " - ERROR: (CoInitializeEx) - " << hr << "\n";
            return -1;
        }
        if (reporter.debug) {
            reporter.out() << "DEBUG: COM Initialized.\n";
        }
        runtimeInitialised_ = true;
    }

    // The path is the server and the DN joined as they are: nothing is escaped.
    const std::optional<std::u16string> path = localeToWide("LDAP://" + serverName + "/" + dn);
    if (!path) {
        // Text that is not valid in the locale's encoding cannot name an object.
        return reportFailure(reporter, kGetObjectLabel, E_ADS_BAD_PATHNAME);
    }
    std::unique_ptr<IADsUser> user;
    const HRESULT bound = objects_.ADsGetObject(*path, IID_IADsUser, user);
    if (bound != S_OK || !user) {
        return reportFailure(reporter, kGetObjectLabel, bound != S_OK ? bound : E_POINTER);
    }

    // Checked before the run connects, so the conversion fails only for a caller that
    // skipped that check; never send a password other than the one typed.
    const std::optional<std::u16string> widePassword = localeToWide(password);
    const HRESULT hr = widePassword ? user->SetPassword(*widePassword)
                                    : hresultFromWin32(kErrorNoUnicodeTranslation);
    if (hr != S_OK) {
        reportFailure(reporter, kSetPasswordLabel, hr);
    }
    user->Release();
    return hr;
}

}  // namespace kestrel
