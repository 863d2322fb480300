// A file named on the command line, read whole before anything is sent.
#pragma once

#include <string>

namespace kestrel {

// Appends the file's bytes to `text`; false with the system's reason in `why`.
bool readWholeFile(const std::string& path, std::string& text, std::string& why);

}  // namespace kestrel
