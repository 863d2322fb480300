#include "ops/record_order.h"

#include <optional>
#include <string>

#include "directory/undelete_request.h"
#include "dn/dn_key.h"

namespace kestrel {
namespace {

using Name = std::optional<DnKey>;  // nothing: could be any object

// The names a record changes (it creates, removes, renames or writes the object) and the
// ones it needs to exist as they are.
struct RecordNames {
    Name dn;  // what the loop compares
    std::vector<Name> changes;
    std::vector<Name> needs;
};

// The DN a rename gives its object. A new superior needs no rule of its own: whatever
// changes it or an object above it is above this name too.
Name renamedDn(const LdifRecord& record, const Name& dn) {
    Name parent = dn;
    if (!record.newSuperior.empty()) {
        parent = dnKey(record.newSuperior);
    } else if (parent) {
        parent->path.pop_back();
    }
    return parent ? childKey(*parent, record.newRdn) : std::nullopt;
}

RecordNames namesOf(const LdifRecord& record) {
    RecordNames names;
    names.dn = dnKey(record.dn);
    names.changes.push_back(names.dn);
    if (record.kind == LdifRecord::Kind::ModDn) {
        names.changes.push_back(renamedDn(record, names.dn));
        return names;
    }
    // An undelete gives its object a DN of its own. That DN is also among the values below;
    // as a need too it adds no wait that the change does not.
    if (record.kind == LdifRecord::Kind::Modify) {
        if (const std::optional<std::string> undeleted =
                undeletedDn(record.modifications, record.controls)) {
            names.changes.push_back(dnKey(*undeleted));
        }
    }
    for (const Modification& modification : record.modifications) {
        if (modification.binary) {
            continue;
        }
        // A value that is not read as a DN names nothing.
        for (const std::string& value : modification.values) {
            if (Name named = dnKey(value)) {
                names.needs.push_back(std::move(named));
            }
        }
    }
    return names;
}

bool changesAnyOf(const RecordNames& earlier, const std::vector<Name>& names, bool aboveCounts) {
    for (const Name& changed : earlier.changes) {
        for (const Name& name : names) {
            if (aboveCounts ? related(changed, name) : isAtOrAbove(changed, name)) {
                return true;
            }
        }
    }
    return false;
}

// Whether `later` must wait for `earlier` where the loop would not hold it back.
bool waitsUnseen(const RecordNames& later, const RecordNames& earlier) {
    if (related(later.dn, earlier.dn)) {
        return false;  // the loop keeps these two in order itself
    }
    // Changing an object, or one above or below it, in either order; creating, renaming or
    // removing an object, or one above it, that the other needs.
    if (changesAnyOf(earlier, later.changes, true) || changesAnyOf(earlier, later.needs, false)) {
        return true;
    }
    return changesAnyOf(later, earlier.needs, false);
}

}  // namespace

std::vector<std::size_t> recordBatches(const std::vector<LdifRecord>& records, int window) {
    std::vector<std::size_t> starts{0};
    if (window <= 1 || records.size() < 2) {
        return starts;
    }
    std::vector<RecordNames> names;
    names.reserve(records.size());
    for (const LdifRecord& record : records) {
        names.push_back(namesOf(record));
    }
    // At most window - 1 earlier requests can be in flight when one is sent, the ones
    // right before it; anything earlier has been answered.
    const std::size_t reach = static_cast<std::size_t>(window) - 1;
    std::size_t batch = 0;
    for (std::size_t i = 1; i < records.size(); ++i) {
        for (std::size_t j = std::max(batch, i > reach ? i - reach : 0); j < i; ++j) {
            if (waitsUnseen(names[i], names[j])) {
                starts.push_back(i);
                batch = i;
                break;
            }
        }
    }
    return starts;
}

}  // namespace kestrel
