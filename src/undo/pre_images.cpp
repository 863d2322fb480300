#include "undo/pre_images.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "dn/dn_components.h"

namespace kestrel {
namespace {

// An entry in the file: its length and depth, then its DN, attributes and values, each a
// length and bytes. The file never leaves this run, so lengths are in the machine's order.
void putNumber(std::string& out, std::uint32_t number) {
    out.append(reinterpret_cast<const char*>(&number), sizeof number);
}

void putText(std::string& out, const std::string& text) {
    putNumber(out, static_cast<std::uint32_t>(text.size()));
    out += text;
}

class Decoder {
  public:
    explicit Decoder(const std::string& bytes) : bytes_(bytes) {}
    bool number(std::uint32_t& number) {
        if (bytes_.size() - at_ < sizeof number) {
            return false;
        }
        std::memcpy(&number, bytes_.data() + at_, sizeof number);
        at_ += sizeof number;
        return true;
    }
    bool text(std::string& text) {
        std::uint32_t length = 0;
        if (!number(length) || bytes_.size() - at_ < length) {
            return false;
        }
        text.assign(bytes_, at_, length);
        at_ += length;
        return true;
    }

  private:
    const std::string& bytes_;
    std::size_t at_ = 0;
};

bool decode(const std::string& bytes, LdapEntry& entry) {
    Decoder decoder(bytes);
    std::uint32_t attributes = 0;
    if (!decoder.text(entry.dn) || !decoder.number(attributes)) {
        return false;
    }
    entry.attributes.resize(attributes);
    for (LdapAttribute& attribute : entry.attributes) {
        std::uint32_t values = 0;
        if (!decoder.text(attribute.name) || !decoder.number(values)) {
            return false;
        }
        attribute.values.resize(values);
        for (std::string& value : attribute.values) {
            if (!decoder.text(value)) {
                return false;
            }
        }
    }
    return true;
}

bool readAt(int fd, std::uint64_t offset, std::string& bytes, std::string& why) {
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t rc =
            ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(offset + got));
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc <= 0) {
            why = rc < 0 ? std::strerror(errno) : "the spool file is shorter than written";
            return false;
        }
        got += static_cast<std::size_t>(rc);
    }
    return true;
}

// An unnamed file in `directory`; where the file system cannot make one, a named one that
// is removed at once.
int unnamedFile(const std::string& directory) {
    int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
        return fd;
    }
    std::string name = directory + "/.kestrel-spool.XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
        ::unlink(name.c_str());
    }
    return fd;
}

std::size_t depthOf(const std::string& dn) {
    const auto components = explodeDn(dn);
    return components ? components->size() : 0;
}

}  // namespace

PreImages::~PreImages() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

PreImages::PreImages(PreImages&& other) noexcept
    : memory_(std::move(other.memory_)),
      fd_(std::exchange(other.fd_, -1)),
      end_(other.end_),
      count_(other.count_),
      depths_(std::move(other.depths_)) {}

PreImages& PreImages::operator=(PreImages&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        memory_ = std::move(other.memory_);
        fd_ = std::exchange(other.fd_, -1);
        end_ = other.end_;
        count_ = other.count_;
        depths_ = std::move(other.depths_);
    }
    return *this;
}

bool PreImages::spoolIn(const std::string& directory, std::string& why) {
    fd_ = unnamedFile(directory);
    if (fd_ < 0) {
        why = std::strerror(errno);
        return false;
    }
    std::vector<std::pair<std::size_t, LdapEntry>> held = std::move(memory_);
    memory_.clear();
    count_ = 0;
    for (const auto& [depth, entry] : held) {
        if (!add(entry, why)) {
            return false;
        }
    }
    return true;
}

bool PreImages::add(const LdapEntry& entry, std::string& why) {
    const std::size_t depth = depthOf(entry.dn);
    if (fd_ < 0) {
        memory_.emplace_back(depth, entry);
    } else {
        std::string bytes;
        putNumber(bytes, 0);
        putNumber(bytes, static_cast<std::uint32_t>(depth));
        putText(bytes, entry.dn);
        putNumber(bytes, static_cast<std::uint32_t>(entry.attributes.size()));
        for (const LdapAttribute& attribute : entry.attributes) {
            putText(bytes, attribute.name);
            putNumber(bytes, static_cast<std::uint32_t>(attribute.values.size()));
            for (const std::string& value : attribute.values) {
                putText(bytes, value);
            }
        }
        const auto payload = static_cast<std::uint32_t>(bytes.size() - 8);
        std::memcpy(bytes.data(), &payload, sizeof payload);
        for (std::size_t written = 0; written < bytes.size();) {
            const ssize_t rc = ::pwrite(fd_, bytes.data() + written, bytes.size() - written,
                                        static_cast<off_t>(end_ + written));
            if (rc < 0 && errno == EINTR) {
                continue;
            }
            if (rc < 0) {
                why = std::strerror(errno);
                return false;
            }
            written += static_cast<std::size_t>(rc);
        }
        end_ += bytes.size();
    }
    depths_.insert(depth);
    ++count_;
    return true;
}

bool PreImages::forEach(const Visit& visit, std::string& why) const {
    return walk(visit, std::nullopt, why);
}

bool PreImages::forEachDeepestFirst(const Visit& visit, std::string& why) const {
    for (auto depth = depths_.rbegin(); depth != depths_.rend(); ++depth) {
        if (!walk(visit, *depth, why)) {
            return false;
        }
    }
    return true;
}

bool PreImages::walk(const Visit& visit, std::optional<std::size_t> depth, std::string& why) const {
    if (fd_ < 0) {
        for (const auto& [entryDepth, entry] : memory_) {
            if ((!depth || entryDepth == *depth) && !visit(entry)) {
                return false;
            }
        }
        return true;
    }
    std::string header(8, '\0');
    std::string payload;
    for (std::uint64_t offset = 0; offset < end_;) {
        if (!readAt(fd_, offset, header, why)) {
            return false;
        }
        std::uint32_t length = 0;
        std::uint32_t entryDepth = 0;
        std::memcpy(&length, header.data(), sizeof length);
        std::memcpy(&entryDepth, header.data() + 4, sizeof entryDepth);
        if (!depth || entryDepth == *depth) {
            payload.resize(length);
            LdapEntry entry;
            if (!readAt(fd_, offset + 8, payload, why)) {
                return false;
            }
            if (!decode(payload, entry)) {
                why = "the spool file does not hold what was written";
                return false;
            }
            if (!visit(entry)) {
                return false;
            }
        }
        offset += 8 + length;
    }
    return true;
}

}  // namespace kestrel
