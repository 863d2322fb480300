// The texts of directory-object (ADSI) and COM result codes, and their report line.
#pragma once

#include <cstdint>
#include <string>

#include "util/reporter.h"

namespace kestrel {

// The directory-object error name of an E_ADS_* code, or empty text.
std::string adsiErrorName(std::int32_t code);

// The text of a COM result code. For ADSI-looking codes it also writes "adsi error".
std::string adsiErrorText(Reporter& reporter, std::int32_t code);

// Writes "<label>(0x<hex>) <text>" on standard error; returns the code.
std::int32_t reportAdsiError(Reporter& reporter, const std::string& label, std::int32_t code);

}  // namespace kestrel
