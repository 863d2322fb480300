#include "cli/record_parts.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "util/secret_memory.h"
#include "util/terminal_text.h"

namespace kestrel {
namespace {

// Where the text after the last blank line starts (a record ends at a blank line, as
// ldif_read_record reads it), or 0 when there is none.
std::size_t afterLastBlankLine(const std::string& text) {
    const std::size_t lf = text.rfind("\n\n");
    const std::size_t crlf = text.rfind("\n\r\n");
    std::size_t end = 0;
    if (lf != std::string::npos) {
        end = lf + 2;
    }
    if (crlf != std::string::npos) {
        end = std::max(end, crlf + 3);
    }
    return end;
}

void shiftLines(LdifReadResult& result, unsigned long firstLine) {
    if (!result.ok && result.problem.line > 0) {
        result.problem.line += firstLine - 1;
    }
    for (LdifRecord& record : result.records) {
        record.line += firstLine - 1;
    }
}

}  // namespace

std::unique_ptr<RecordFileParts> RecordFileParts::scan(const std::string& path, bool entriesAreAdds,
                                                       const Check& check, std::string& why,
                                                       std::optional<LdifProblem>& problem) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<RecordFileParts> file(new RecordFileParts(fd, path, entriesAreAdds));
    WipedText text;  // the part being gathered
    std::uint64_t offset = 0;
    unsigned long line = 1;
    char block[1 << 16];
    while (true) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            why = std::strerror(errno);
            std::fill(std::begin(block), std::end(block), '\0');
            return nullptr;
        }
        text.text.append(block, static_cast<std::size_t>(got));
        const bool end = got == 0;
        const std::size_t cut = end ? text.text.size() : afterLastBlankLine(text.text);
        if ((end || text.text.size() >= kRecordPartBytes) && cut > 0) {
            WipedText part{text.text.substr(0, cut)};
            text.text.erase(0, cut);
            if (!file->take(part.text, offset, line, check, problem)) {
                return nullptr;
            }
            offset += cut;
            line +=
                static_cast<unsigned long>(std::count(part.text.begin(), part.text.end(), '\n'));
        }
        if (end) {
            std::fill(std::begin(block), std::end(block), '\0');
            return file;
        }
    }
}

bool RecordFileParts::take(const std::string& text, std::uint64_t offset, unsigned long firstLine,
                           const Check& check, std::optional<LdifProblem>& problem) {
    LdifReadResult result = readLdifRecords(text, entriesAreAdds_);
    shiftLines(result, firstLine);
    if (!result.ok) {
        problem = result.problem;
        return false;
    }
    for (const LdifRecord& record : result.records) {
        check(record);
    }
    if (!result.records.empty()) {
        parts_.push_back(Part{offset, text.size(), firstLine, std::hash<std::string_view>{}(text)});
    }
    return true;
}

RecordFileParts::~RecordFileParts() {
    ::close(fd_);
}

bool RecordFileParts::read(std::size_t index, std::vector<LdifRecord>& records, std::string& why) {
    const Part& part = parts_.at(index);
    WipedText text{std::string(part.length, '\0')};
    std::size_t got = 0;
    while (got < part.length) {
        const ssize_t rc = ::pread(fd_, text.text.data() + got, part.length - got,
                                   static_cast<off_t>(part.offset + got));
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc <= 0) {
            why = "cannot read " + terminalText(path_) +
                  " again: " + (rc < 0 ? std::strerror(errno) : "it is shorter than it was");
            return false;
        }
        got += static_cast<std::size_t>(rc);
    }
    LdifReadResult result = readLdifRecords(text.text, entriesAreAdds_);
    if (std::hash<std::string_view>{}(text.text) != part.hash || !result.ok) {
        why = terminalText(path_) + " changed while its records were applied";
        return false;
    }
    shiftLines(result, part.firstLine);
    records = std::move(result.records);
    return true;
}

}  // namespace kestrel
