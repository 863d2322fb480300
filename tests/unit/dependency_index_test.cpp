// The window's hashed index against the rule it stands for, over a plain list of what is in
// flight.
#include "ops/dependency_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace kestrel {
namespace {

using Name = std::optional<DnKey>;

// A tree of names (one without a key among them) whose hashes all start probing at a few
// slots, some at the table's end, so that probe chains are long, wrap round and are cut by
// every release, at each size the table grows to.
std::vector<Name> collidingNames(std::mt19937& random) {
    constexpr std::array<std::uint64_t, 5> kHomes{0, 1, 63, 127, 255};
    std::vector<Name> names{std::nullopt};
    for (std::uint64_t id = 1; id <= 60; ++id) {
        DnKey key = names[random() % names.size()].value_or(DnKey{});
        key.path.push_back(id << 16 | kHomes[id % kHomes.size()]);
        names.emplace_back(std::move(key));
    }
    return names;
}

TEST(DependencyIndex, AgreesWithAPlainListOfWhatIsInFlight) {
    std::mt19937 random(7);  // fixed: a failure names its step
    const std::vector<Name> names = collidingNames(random);
    const Name& newParent = names[3];
    DependencyIndex index;
    DependencyIndex moves;
    moves.forMoveTo(newParent);
    std::vector<Name> inFlight;
    for (int step = 0; step < 20000; ++step) {
        const Name& name = names[random() % names.size()];
        const bool nearby = std::any_of(inFlight.begin(), inFlight.end(),
                                        [&](const Name& other) { return related(name, other); });
        const bool aboveNewParent =
            std::any_of(inFlight.begin(), inFlight.end(),
                        [&](const Name& other) { return isAtOrAbove(other, newParent); });
        ASSERT_EQ(index.mustWait(name), nearby) << "step " << step;
        ASSERT_EQ(moves.mustWait(name), nearby || aboveNewParent) << "step " << step;
        if (inFlight.size() < 40 && random() % 5 < 3) {
            index.add(name);
            moves.add(name);
            inFlight.push_back(name);
        } else if (!inFlight.empty()) {
            const auto gone =
                inFlight.begin() + static_cast<std::ptrdiff_t>(random() % inFlight.size());
            index.remove(*gone);
            moves.remove(*gone);
            inFlight.erase(gone);
        }
    }
}

}  // namespace
}  // namespace kestrel
