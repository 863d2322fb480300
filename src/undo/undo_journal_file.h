// The undo journal's file: created new (never an existing file or a link) with mode 0600,
// appended to whole records at a time, each synced before the write it covers is sent.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace kestrel {

class UndoJournal {
  public:
    // Puts the file's data on disk: fsync(2), or one that fails, to prove what a run does
    // then. Returns 0, or -1 with errno set.
    using FileSync = std::function<int(int fd)>;

    // The open journal, its directory synced so the new name survives a crash; or nothing
    // with `error` saying why (the file exists, ...).
    static std::unique_ptr<UndoJournal> create(const std::string& path, std::string& error,
                                               FileSync fileSync = {});

    // An empty `fileSync` is fsync(2).
    UndoJournal(int fd, std::string path, FileSync fileSync = {})
        : fd_(fd), path_(std::move(path)), fileSync_(std::move(fileSync)) {}
    // Closes the file; an empty one is removed, so a run that journalled nothing (its bind
    // failed, say) leaves nothing behind that would refuse the same command again.
    ~UndoJournal();
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    // Appends `text` whole, synced unless `sync` is false (a batch synced once with sync()),
    // or leaves the file as it was (a full disk or a file size limit never leaves half a
    // record) and says why.
    bool append(const std::string& text, std::string& error, bool sync = true);
    bool sync(std::string& error);
    // Takes back what was appended after `size` (a record for a write that failed).
    bool truncateTo(std::uint64_t size, std::string& error);
    // Withdraws the record at [offset, offset + length) in place, later records unmoved:
    // the first character of each of its lines becomes "#", so that every line is a
    // comment that ldapmodify skips. Synced.
    bool commentOut(std::uint64_t offset, std::uint64_t length, std::string& error);
    std::uint64_t size() const { return size_; }
    // The directory the journal is in.
    std::string directory() const;

  private:
    int fd_;
    std::string path_;
    FileSync fileSync_;
    std::uint64_t size_ = 0;
};

}  // namespace kestrel
