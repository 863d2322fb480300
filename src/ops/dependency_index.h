// The window's dependency rule: which requests in flight a target must wait for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "dn/dn_key.h"

namespace kestrel {

// The DNs of the requests in flight and their ancestors, hashed, so that a target is
// checked in time proportional to its depth, whatever the window. A target waits while an
// earlier request is in flight for a name `related` to its own (dn/dn_key), and for
// a move also while one is in flight for the new parent or one above it. A DN without a
// key (<GUID=...>, text not read with confidence) waits for every request ahead of it and
// holds back every request after it.
class DependencyIndex {
  public:
    // For -move: the new parent's key; nothing when it has none, and every move then waits
    // for every request ahead of it.
    void forMoveTo(const std::optional<DnKey>& newParent);

    bool mustWait(const std::optional<DnKey>& target) const;
    void add(const std::optional<DnKey>& target);
    void remove(const std::optional<DnKey>& target);

  private:
    // One DN's counts, found by its hash: open addressing with linear probing, as the
    // table is touched a few times per target and a node allocation would cost more.
    struct Slot {
        std::uint64_t hash = 0;   // 0: a free slot (a DN whose hash is 0 is counted as 1)
        std::uint32_t self = 0;   // requests in flight for this DN
        std::uint32_t below = 0;  // requests in flight for DNs under it
    };
    const Slot* find(std::uint64_t hash) const;
    Slot& findOrAdd(std::uint64_t hash);
    void release(Slot& slot);
    void count(const std::optional<DnKey>& target, bool adding);

    std::vector<Slot> slots_ = std::vector<Slot>(64);  // a power of two, at most half used
    std::size_t used_ = 0;
    std::size_t inFlight_ = 0;
    std::size_t withoutKey_ = 0;  // requests in flight whose DN has no key
    bool moving_ = false;
    std::optional<DnKey> newParent_;
    std::size_t atOrAboveNewParent_ = 0;  // requests in flight for the new parent or above
};

}  // namespace kestrel
