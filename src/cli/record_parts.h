// An LDIF file of -f or -revert read a part at a time: a first pass reads every record,
// checked, before anything is sent, and keeps only where each part starts; the run then
// reads each part again when its turn comes, so that no more than one part of a file is in
// memory, however large the file (an undo journal grows with the tree a run deleted).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ldif/ldif_reader.h"
#include "ops/record_source.h"

namespace kestrel {

// Text a part holds at least, unless it is the file's last: whole paragraphs (a record and
// the comments above it) until there is this much. Also the most the run reads ahead of the
// answers it has when it orders a file's records (ops/record_order).
inline constexpr std::size_t kRecordPartBytes = 256 * 1024;

class RecordFileParts final : public RecordSource {
  public:
    // Sees each record of the first pass, its line counted in the whole file.
    using Check = std::function<void(const LdifRecord& record)>;

    // Reads `path` through once. Nothing, with `why` (the system's reason) or `problem` (the
    // first record that cannot be taken, its line in the whole file) set, when it cannot be.
    static std::unique_ptr<RecordFileParts> scan(const std::string& path, bool entriesAreAdds,
                                                 const Check& check, std::string& why,
                                                 std::optional<LdifProblem>& problem);
    ~RecordFileParts() override;
    RecordFileParts(const RecordFileParts&) = delete;
    RecordFileParts& operator=(const RecordFileParts&) = delete;

    std::size_t parts() const override { return parts_.size(); }
    // False when the part is no longer what the first pass read: the file changed.
    bool read(std::size_t index, std::vector<LdifRecord>& records, std::string& why) override;

  private:
    struct Part {
        std::uint64_t offset;
        std::size_t length;
        unsigned long firstLine;
        std::size_t hash;  // of its text, to tell a file changed under the run
    };
    RecordFileParts(int fd, std::string path, bool entriesAreAdds)
        : fd_(fd), path_(std::move(path)), entriesAreAdds_(entriesAreAdds) {}
    // Takes the records of one part; false with `problem` set.
    bool take(const std::string& text, std::uint64_t offset, unsigned long firstLine,
              const Check& check, std::optional<LdifProblem>& problem);

    int fd_;
    std::string path_;
    bool entriesAreAdds_;
    std::vector<Part> parts_;
};

}  // namespace kestrel
