// The bits a setbits or clearbits action names: numbers, or userAccountControl's flags by
// name, several joined by the multi-value delimiter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// The attribute whose flags have names.
inline constexpr std::string_view kUserAccountControl = "useraccountcontrol";

// The bits of `pieces` ORed together. A piece is decimal (-2147483648 to 4294967295, a
// negative number being the directory's signed text of the same 32 bits), "0x" and up to
// eight hexadecimal digits, or (for `attribute` userAccountControl only) a flag's name in
// any case, with or without "UF_" or "ADS_UF_" before it. Blanks around a piece and empty
// pieces are ignored. Nothing, with `why`, when a piece is none of these or no bit is named.
std::optional<std::uint32_t> parseBitMask(std::string_view attribute,
                                          const std::vector<std::string>& pieces, std::string& why);

}  // namespace kestrel
