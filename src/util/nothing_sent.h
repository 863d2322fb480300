// The line of every refusal that stops a run before it sends anything, whichever room
// decides it (the switches, the modification checks, the bind's security).
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// "ERROR: <why> Nothing was sent.\n"
inline std::string nothingSentLine(std::string_view why) {
    return "ERROR: " + std::string(why) + " Nothing was sent.\n";
}

}  // namespace kestrel
