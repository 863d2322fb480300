// Splitting attribute-actions into sections and value lists into values.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// Cuts `text` at every `delimiter`; an empty trailing piece is dropped, an empty text
// gives no pieces, and an empty delimiter gives one empty piece per character.
std::vector<std::string> tokenize(std::string_view text, std::string_view delimiter);

struct BoundedSplit {
    int pieceCount = 0;                 // 0 to 3
    std::array<std::string, 3> pieces;  // padded with empty pieces; the third keeps the rest
};

// At most three pieces; extra pieces are joined back into the third with the delimiter.
BoundedSplit boundedSplit(std::string_view text, std::string_view delimiter);

}  // namespace kestrel
