#include "cli/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/file_descriptor.h"

namespace kestrel {

bool readWholeFile(const std::string& path, std::string& text, std::string& why) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        why = std::strerror(errno);
        return false;
    }
    // A regular file's size is known: one allocation instead of a copy at each doubling.
    struct stat status {};
    if (::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
        text.reserve(text.size() + static_cast<std::size_t>(status.st_size));
    }
    char block[1 << 16];
    while (true) {
        const ssize_t got = ::read(file.get(), block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            why = std::strerror(errno);
            return false;
        }
        if (got == 0) {
            return true;
        }
        text.append(block, static_cast<std::size_t>(got));
    }
}

}  // namespace kestrel
