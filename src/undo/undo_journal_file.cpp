#include "undo/undo_journal_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrel {
namespace {

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool syncDirectory(const std::string& path) {
    const int fd = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace

std::unique_ptr<UndoJournal> UndoJournal::create(const std::string& path, std::string& error,
                                                 FileSync fileSync) {
    // O_EXCL: an existing journal, perhaps the only way back from an earlier run, is
    // never overwritten, and neither is a file a link points to.
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    auto journal = std::make_unique<UndoJournal>(fd, path, std::move(fileSync));
    if (!syncDirectory(path)) {
        error = std::strerror(errno);
        return nullptr;
    }
    return journal;
}

UndoJournal::~UndoJournal() {
    struct stat opened {};
    struct stat named {};
    // Only the file this run made: a name that now leads elsewhere is left alone.
    if (size_ == 0 && ::fstat(fd_, &opened) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino && opened.st_size == 0) {
        ::unlink(path_.c_str());
        syncDirectory(path_);
    }
    ::close(fd_);
}

std::string UndoJournal::directory() const {
    return directoryOf(path_);
}

bool UndoJournal::append(const std::string& text, std::string& error, bool sync) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t rc = ::pwrite(fd_, text.data() + written, text.size() - written,
                                    static_cast<off_t>(size_ + written));
        if (rc < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = std::strerror(errno);
            // Half a record would join the next one into a record nobody wrote.
            std::string ignored;
            truncateTo(size_, ignored);
            return false;
        }
        written += static_cast<std::size_t>(rc);
    }
    // On disk before the write it covers is sent: a run killed at any moment leaves a
    // journal that covers every write that may have reached the directory.
    if (sync && !this->sync(error)) {
        std::string ignored;
        truncateTo(size_, ignored);
        return false;
    }
    size_ += written;
    return true;
}

bool UndoJournal::sync(std::string& error) {
    if ((fileSync_ ? fileSync_(fd_) : ::fsync(fd_)) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool UndoJournal::commentOut(std::uint64_t offset, std::uint64_t length, std::string& error) {
    std::string text(length, '\0');
    const ssize_t got = ::pread(fd_, text.data(), length, static_cast<off_t>(offset));
    if (got != static_cast<ssize_t>(length)) {
        error = got < 0 ? std::strerror(errno) : "the record is not where it was written";
        return false;
    }
    bool lineStart = true;
    for (char& c : text) {
        if (lineStart && c != '\n' && c != '#') {
            c = '#';
        }
        lineStart = c == '\n';
    }
    if (::pwrite(fd_, text.data(), length, static_cast<off_t>(offset)) !=
        static_cast<ssize_t>(length)) {
        error = std::strerror(errno);
        return false;
    }
    return sync(error);
}

bool UndoJournal::truncateTo(std::uint64_t size, std::string& error) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!sync(error)) {
        return false;
    }
    size_ = size;
    return true;
}

}  // namespace kestrel
