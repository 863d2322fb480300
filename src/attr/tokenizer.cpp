#include "attr/tokenizer.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace kestrel {
namespace {

// Knuth-Morris-Pratt border table, so that a long delimiter against a long text stays
// linear (both come straight from the command line).
std::vector<std::size_t> borderTable(std::string_view pattern) {
    std::vector<std::size_t> border(pattern.size(), 0);
    std::size_t length = 0;
    for (std::size_t i = 1; i < pattern.size(); ++i) {
        while (length > 0 && pattern[i] != pattern[length]) {
            length = border[length - 1];
        }
        if (pattern[i] == pattern[length]) {
            ++length;
        }
        border[i] = length;
    }
    return border;
}

}  // namespace

std::vector<std::string> tokenize(std::string_view text, std::string_view delimiter) {
    std::vector<std::string> pieces;
    if (text.empty()) {
        return pieces;
    }
    if (delimiter.empty()) {
        // Each cut consumes one character and the final empty piece is dropped.
        pieces.resize(text.size());
        return pieces;
    }
    if (delimiter.size() == 1) {
        // The usual case, once per cell of a long table: no table to build.
        std::size_t pieceStart = 0;
        for (std::size_t at; (at = text.find(delimiter.front(), pieceStart)) != text.npos;) {
            pieces.emplace_back(text.substr(pieceStart, at - pieceStart));
            pieceStart = at + 1;
        }
        if (pieceStart < text.size()) {
            pieces.emplace_back(text.substr(pieceStart));
        }
        return pieces;
    }
    const std::vector<std::size_t> border = borderTable(delimiter);
    std::size_t pieceStart = 0;
    std::size_t matched = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        while (matched > 0 && text[i] != delimiter[matched]) {
            matched = border[matched - 1];
        }
        if (text[i] == delimiter[matched]) {
            ++matched;
        }
        if (matched == delimiter.size()) {
            const std::size_t delimiterStart = i + 1 - delimiter.size();
            pieces.emplace_back(text.substr(pieceStart, delimiterStart - pieceStart));
            pieceStart = i + 1;
            matched = 0;  // occurrences do not overlap: scanning restarts after this one
        }
    }
    if (pieceStart < text.size()) {
        pieces.emplace_back(text.substr(pieceStart));
    }
    return pieces;
}

BoundedSplit boundedSplit(std::string_view text, std::string_view delimiter) {
    std::vector<std::string> pieces = tokenize(text, delimiter);
    BoundedSplit split;
    const std::size_t kept = std::min<std::size_t>(pieces.size(), split.pieces.size());
    split.pieceCount = static_cast<int>(kept);
    for (std::size_t i = 0; i < kept; ++i) {
        split.pieces[i] = std::move(pieces[i]);
    }
    for (std::size_t i = kept; i < pieces.size(); ++i) {
        split.pieces[2] += delimiter;
        split.pieces[2] += pieces[i];
    }
    return split;
}

}  // namespace kestrel
