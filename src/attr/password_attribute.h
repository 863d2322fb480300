// Recognising text that may hold a password, so that it is never shown.
#pragma once

#include <string_view>

namespace kestrel {

// True when `text`, in any letter case, names the "#setpwd#" pseudo-attribute or
// unicodePwd anywhere: an argument or attribute that may carry a password.
bool namesPasswordAttribute(std::string_view text);

// What messages show instead of a text that may be a password.
inline constexpr std::string_view kHiddenText = "***";

}  // namespace kestrel
