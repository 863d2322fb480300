// Keeping passwords out of memory that outlives their use: core dumps, and buffers that
// the heap hands on to the next allocation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrel {

// Overwrites the text's bytes with zeros (a write the compiler may not drop) and empties it.
void wipeText(std::string& text);
void wipeBytes(std::vector<std::uint8_t>& bytes);

// A copy of text that may hold a password, wiped when it goes.
struct WipedText {
    std::string text;
    WipedText() = default;
    explicit WipedText(std::string from) : text(std::move(from)) {}
    explicit WipedText(std::string_view from) : text(from) {}
    ~WipedText() { wipeText(text); }
    WipedText(const WipedText&) = delete;
    WipedText& operator=(const WipedText&) = delete;
};

// Makes the process non-dumpable: no core file, and no ptrace or /proc/PID/mem reading by
// other processes of the same user. Returns false when the system refused.
bool keepOutOfCoreDumps();

}  // namespace kestrel
