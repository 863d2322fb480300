#include "ops/dependency_index.h"

#include <algorithm>
#include <utility>

namespace kestrel {
namespace {

std::uint64_t slotHash(std::uint64_t hash) {
    return hash == 0 ? 1 : hash;  // a collision only makes a request wait
}

}  // namespace

void DependencyIndex::forMoveTo(const std::optional<DnKey>& newParent) {
    moving_ = true;
    newParent_ = newParent;
}

bool DependencyIndex::mustWait(const std::optional<DnKey>& target) const {
    if (inFlight_ == 0) {
        return false;
    }
    if (!target || withoutKey_ > 0 || (moving_ && (!newParent_ || atOrAboveNewParent_ > 0))) {
        return true;
    }
    const std::vector<std::uint64_t>& path = target->path;
    if (find(path.back()) != nullptr) {
        return true;  // the same object, or one below it
    }
    return std::any_of(path.begin(), path.end() - 1, [this](std::uint64_t ancestor) {
        const Slot* slot = find(ancestor);
        return slot != nullptr && slot->self > 0;
    });
}

void DependencyIndex::add(const std::optional<DnKey>& target) {
    count(target, true);
}

void DependencyIndex::remove(const std::optional<DnKey>& target) {
    count(target, false);
}

void DependencyIndex::count(const std::optional<DnKey>& target, bool adding) {
    const auto step = [adding](auto& counter) { counter = adding ? counter + 1 : counter - 1; };
    step(inFlight_);
    if (!target) {
        step(withoutKey_);
        return;
    }
    const std::vector<std::uint64_t>& path = target->path;
    for (std::size_t i = 0; i < path.size(); ++i) {
        Slot& slot = findOrAdd(path[i]);
        step(i + 1 == path.size() ? slot.self : slot.below);
        if (slot.self == 0 && slot.below == 0) {
            release(slot);  // so the table never holds more than the window's DNs
        }
    }
    if (moving_ && isAtOrAbove(target, newParent_)) {
        step(atOrAboveNewParent_);
    }
}

const DependencyIndex::Slot* DependencyIndex::find(std::uint64_t hash) const {
    hash = slotHash(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        if (slots_[i].hash == hash) {
            return &slots_[i];
        }
        if (slots_[i].hash == 0) {
            return nullptr;
        }
    }
}

DependencyIndex::Slot& DependencyIndex::findOrAdd(std::uint64_t hash) {
    hash = slotHash(hash);
    if (2 * (used_ + 1) > slots_.size()) {
        std::vector<Slot> old(2 * slots_.size());
        old.swap(slots_);
        used_ = 0;
        for (const Slot& slot : old) {
            if (slot.hash != 0) {
                findOrAdd(slot.hash) = slot;
            }
        }
    }
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].hash != 0 && slots_[i].hash != hash) {
        i = (i + 1) & mask;
    }
    if (slots_[i].hash == 0) {
        slots_[i].hash = hash;
        ++used_;
    }
    return slots_[i];
}

// Frees the slot and moves back the ones after it that probing would no longer reach.
void DependencyIndex::release(Slot& slot) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t hole = static_cast<std::size_t>(&slot - slots_.data());
    for (std::size_t next = (hole + 1) & mask; slots_[next].hash != 0; next = (next + 1) & mask) {
        const std::size_t home = slots_[next].hash & mask;
        // The slot may fill the hole when its home is not between the hole and itself.
        if (((next - home) & mask) >= ((next - hole) & mask)) {
            slots_[hole] = slots_[next];
            hole = next;
        }
    }
    slots_[hole] = Slot{};
    --used_;
}

}  // namespace kestrel
