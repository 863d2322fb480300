// How the program's 32-bit run status leaves the process.
#pragma once

namespace kestrel {

// Linux keeps only the low 8 bits of an exit status. A failure whose low byte is 0
// (for example an HRESULT or 256) must still not look like success, so it becomes 255.
constexpr int processExitStatus(int status) {
    const int low = static_cast<int>(static_cast<unsigned>(status) & 0xFFu);
    if (status != 0 && low == 0) {
        return 255;
    }
    return low;
}

}  // namespace kestrel
