// The objects a delete removes, as they were before it, kept until its answer is in: their
// reanimation records are written once the delete succeeded. A tree's go to an unnamed file
// beside the journal, so that memory does not grow with the tree, and come back a pass per
// depth, deepest objects first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "directory/ldap_client.h"

namespace kestrel {

class PreImages {
  public:
    // Returns false to stop a walk, with its own reason.
    using Visit = std::function<bool(const LdapEntry& entry)>;

    // Kept in memory until spoolIn.
    PreImages() = default;
    ~PreImages();
    PreImages(PreImages&& other) noexcept;
    PreImages& operator=(PreImages&& other) noexcept;
    PreImages(const PreImages&) = delete;
    PreImages& operator=(const PreImages&) = delete;

    // From now on kept in a file of mode 0600 in `directory` that has no name (it is gone
    // when closed, whatever ends the run), or false with the system's reason.
    bool spoolIn(const std::string& directory, std::string& why);
    bool add(const LdapEntry& entry, std::string& why);
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    // Every object in the order added; false when a walk was stopped or the file could not
    // be read (`why`, unless `visit` stopped it).
    bool forEach(const Visit& visit, std::string& why) const;
    // The deepest first, in the order added within a depth: the order that brings a tree
    // back parents first once a journal is applied in reverse.
    bool forEachDeepestFirst(const Visit& visit, std::string& why) const;

  private:
    bool walk(const Visit& visit, std::optional<std::size_t> depth, std::string& why) const;

    std::vector<std::pair<std::size_t, LdapEntry>> memory_;  // depth and entry, until spooled
    int fd_ = -1;
    std::uint64_t end_ = 0;  // the file's size
    std::size_t count_ = 0;
    std::set<std::size_t> depths_;
};

}  // namespace kestrel
