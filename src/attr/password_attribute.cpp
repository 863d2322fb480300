#include "attr/password_attribute.h"

#include <string>

#include "attr/ascii_case.h"

namespace kestrel {

bool namesPasswordAttribute(std::string_view text) {
    const std::string folded = asciiLower(text);
    return folded.find("#setpwd#") != std::string::npos ||
           folded.find("unicodepwd") != std::string::npos;
}

}  // namespace kestrel
