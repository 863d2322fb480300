#include "util/secret_memory.h"

#include <sys/prctl.h>

#include <cstring>

namespace kestrel {

void wipeText(std::string& text) {
    // The whole buffer: a shorter value assigned earlier may have left password bytes
    // behind its terminator.
    explicit_bzero(text.data(), text.capacity());
    text.clear();
}

void wipeBytes(std::vector<std::uint8_t>& bytes) {
    if (bytes.capacity() != 0) {
        explicit_bzero(bytes.data(), bytes.capacity());
    }
    bytes.clear();
}

bool keepOutOfCoreDumps() {
    return prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
}

}  // namespace kestrel
