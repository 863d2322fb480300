// Shared pieces of the fuzz targets: how an input is cut into texts, and how a broken
// property is reported (abort, so that libFuzzer keeps the input as a crash).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::fuzz {

// The input's bytes cut at every line feed; empty pieces stay. Line feeds keep the seed
// files readable; every other byte, NUL included, reaches the code under test.
inline std::vector<std::string> splitLines(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        lines.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

// Aborts with a message when a property the code promises does not hold.
inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

}  // namespace kestrel::fuzz
