#include "undo/undo_records.h"

#include <algorithm>

#include "attr/password_attribute.h"
#include "directory/value_match.h"
#include "dn/dn_components.h"
#include "util/ascii_case.h"
#include "util/hex_text.h"
#include "util/ldif_comment.h"

namespace kestrel {
namespace {

bool clearsOrReplaces(const Modification& modification) {
    return modification.operation == ModOperation::Replace ||
           (modification.operation == ModOperation::Delete && modification.values.empty());
}

bool contains(const std::vector<std::string>& values, const std::string& value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// The values an attribute holds after `modifications` (all of one attribute) are applied
// to `values` in order, as the server applies them.
std::vector<std::string> applied(std::vector<std::string> values,
                                 const std::vector<const Modification*>& modifications) {
    for (const Modification* modification : modifications) {
        switch (modification->operation) {
            case ModOperation::Replace:
                values = modification->values;
                break;
            case ModOperation::Delete:
                if (modification->values.empty()) {
                    values.clear();
                }
                for (const std::string& value : modification->values) {
                    values.erase(std::remove(values.begin(), values.end(), value), values.end());
                }
                break;
            case ModOperation::Add:
                for (const std::string& value : modification->values) {
                    if (!contains(values, value)) {
                        values.push_back(value);
                    }
                }
                break;
        }
    }
    return values;
}

// The values `before` holds of the attribute the schema names `canonical`.
std::vector<std::string> valuesOf(const LdapEntry& before, const std::string& canonical,
                                  const AttributeSchema& schema) {
    for (const LdapAttribute& attribute : before.attributes) {
        if (schema.canonical(attribute.name) == canonical) {
            return attribute.values;
        }
    }
    return {};
}

bool namesAny(const std::vector<std::string>& values, const RemovedByDelete& deleted) {
    return std::any_of(values.begin(), values.end(), deleted);
}

// A record that cannot be made, and why.
UndoRecord refusal(std::string why, int code) {
    return UndoRecord{.why = std::move(why), .code = code};
}

std::size_t depthOf(const std::string& dn) {
    const auto components = explodeDn(dn);
    return components ? components->size() : 0;
}

const char* const kNoEntry = "the server answered no entry";

// Under the permissive control a value added that was there, or removed that was not,
// changes nothing: only the rest is reversed. Walked in the request's order over what the
// attribute held, as the server applies it; a value removed comes back as it was stored.
void undoChangedValues(const std::vector<const Modification*>& group, std::vector<std::string> held,
                       ValueSyntax syntax, LdifChange& change) {
    std::vector<Modification> inverse;
    std::size_t unchanged = 0;
    for (const Modification* modification : group) {
        const bool adds = modification->operation == ModOperation::Add;
        Modification undo{adds ? ModOperation::Delete : ModOperation::Add,
                          modification->attribute,
                          {},
                          modification->binary};
        for (const std::string& value : modification->values) {
            const auto at = std::find_if(held.begin(), held.end(), [&](const std::string& v) {
                return sameValue(syntax, v, value);
            });
            if (adds == (at != held.end())) {
                ++unchanged;
            } else if (adds) {
                undo.values.push_back(value);
                held.push_back(value);
            } else {
                undo.values.push_back(*at);
                held.erase(at);
            }
        }
        if (!undo.values.empty()) {
            inverse.push_back(std::move(undo));
        }
    }
    change.modifications.insert(change.modifications.end(), inverse.rbegin(), inverse.rend());
    if (unchanged != 0) {
        change.comments.push_back(group.front()->attribute + ": " + std::to_string(unchanged) +
                                  " value(s) already as asked, so not changed and left out.");
    }
}

}  // namespace

std::string undoComment(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += ldifComment(line);
    }
    return text + "\n";
}

std::vector<std::string> attributesToRead(std::span<const Modification> modifications,
                                          const AttributeSchema& schema, bool permissive) {
    std::vector<std::string> names;
    std::vector<std::string> seen;
    for (const Modification& modification : modifications) {
        const std::string canonical = schema.canonical(modification.attribute);
        if ((permissive || clearsOrReplaces(modification)) &&
            !carriesPassword(modification.attribute) && !contains(seen, canonical)) {
            seen.push_back(canonical);
            names.push_back(modification.attribute);
        }
    }
    return names;
}

LdifChange modifyUndo(const std::string& dn, std::span<const Modification> modifications,
                      const LdapEntry& before, const AttributeSchema& schema, bool permissive) {
    LdifChange change{.dn = dn, .comments = {"Undo of the modify of " + dn}};
    // One group per attribute, in the order the request first names them.
    std::vector<std::pair<std::string, std::vector<const Modification*>>> groups;
    for (const Modification& modification : modifications) {
        if (carriesPassword(modification.attribute)) {
            change.comments.push_back(modification.attribute +
                                      ": a password cannot be read back, so its change "
                                      "cannot be undone.");
            continue;
        }
        const std::string canonical = schema.canonical(modification.attribute);
        const auto group = std::find_if(groups.begin(), groups.end(),
                                        [&](const auto& g) { return g.first == canonical; });
        if (group == groups.end()) {
            groups.push_back({canonical, {&modification}});
        } else {
            group->second.push_back(&modification);
        }
    }
    for (const auto& [canonical, group] : groups) {
        const std::string& name = group.front()->attribute;
        if (std::any_of(group.begin(), group.end(),
                        [](const Modification* m) { return clearsOrReplaces(*m); })) {
            const std::vector<std::string> old = valuesOf(before, canonical, schema);
            const std::vector<std::string> left = applied(old, group);
            if (!left.empty()) {
                change.modifications.push_back({ModOperation::Delete, name, left});
            }
            if (!old.empty()) {
                change.modifications.push_back({ModOperation::Add, name, old});
            }
            continue;
        }
        if (permissive) {
            undoChangedValues(group, valuesOf(before, canonical, schema), schema.syntax(name),
                              change);
            continue;
        }
        // Only values added or removed: the inverse of each, last first.
        for (auto m = group.rbegin(); m != group.rend(); ++m) {
            const Modification& modification = **m;
            change.modifications.push_back({modification.operation == ModOperation::Add
                                                ? ModOperation::Delete
                                                : ModOperation::Add,
                                            modification.attribute, modification.values});
        }
    }
    return change;
}

std::optional<LdifChange> relocationUndo(const std::string& storedDn, const std::string& newRdn,
                                         const std::string& newParent) {
    const auto components = explodeDn(storedDn);
    if (!components) {
        return std::nullopt;
    }
    const std::string oldParent = parentDn(*components);
    const std::string parent = newParent.empty() ? oldParent : newParent;
    const bool moved = !newParent.empty() && !sameDn(newParent, oldParent);
    return LdifChange{
        .dn = parent.empty() ? newRdn : newRdn + "," + parent,
        .kind = LdifChange::Kind::ModDn,
        .newRdn = components->front(),
        .newSuperior = moved ? std::optional(oldParent) : std::nullopt,
        .comments = {"Undo of the " + std::string(moved ? "move" : "rename") + " of " + storedDn}};
}

std::string deleteNotice(const std::vector<LdapEntry>& entries) {
    std::vector<std::string> lines;
    for (const LdapEntry& entry : entries) {
        const std::string guid = hexText(entry.values("objectGUID")->front());
        lines.push_back(entry.dn + " (objectGUID " + guid +
                        ") is deleted by this run. Its reanimation record follows once the "
                        "delete succeeded; if none follows, the run stopped first: "
                        "reanimate the tombstone found with the show-deleted control at "
                        "base <GUID=" +
                        guid + ">.");
    }
    return undoComment(lines);
}

std::vector<LdifChange> linksBack(const LdapEntry& before, const RemovedByDelete& deleted,
                                  const UndoAttributes& attributes) {
    std::vector<LdifChange> records;
    LdifChange links{.dn = before.dn,
                     .comments = {"Links of " + before.dn +
                                  " to objects deleted with it, once they are all back"}};
    for (const LdapAttribute& attribute : before.attributes) {
        const std::string folded = asciiLower(attribute.name);
        if (folded != "memberof" && attributes.maintained.count(folded) == 0 &&
            !carriesSecret(attribute.name) && namesAny(attribute.values, deleted)) {
            links.modifications.push_back(
                {ModOperation::Replace, attribute.name, attribute.values});
        }
    }
    if (!links.modifications.empty()) {
        records.push_back(std::move(links));
    }
    if (const std::vector<std::string>* groups = before.values("memberOf"); groups != nullptr) {
        for (const std::string& group : *groups) {
            if (deleted(group)) {
                continue;  // that group's own links record puts the member back
            }
            // With a Recycle Bin the reanimation brings the link back itself: then the add
            // must succeed. Not critical: a server without the control still adds the member.
            records.push_back({.dn = group,
                               .modifications = {{ModOperation::Add, "member", {before.dn}}},
                               .controls = {permissiveModifyControl()},
                               .comments = {"Membership of " + before.dn + " in " + group}});
        }
    }
    return records;
}

LdifChange reanimation(const LdapEntry& before, const LdapEntry& tombstone,
                       const RemovedByDelete& deleted, const UndoAttributes& attributes) {
    LdifChange change{.dn = tombstone.dn,
                      .modifications = {{ModOperation::Delete, "isDeleted", {}},
                                        {ModOperation::Replace, "distinguishedName", {before.dn}}},
                      .controls = {ServerControl{kShowDeletedOid, "", true}},
                      .comments = {"Undo of the delete of " + before.dn}};
    const auto components = explodeDn(before.dn);
    const std::string rdn = components ? asciiLower(components->front()) : "";
    const std::string namingAttribute = rdnType(rdn);
    std::string notRestored;
    std::string secrets;
    for (const LdapAttribute& attribute : before.attributes) {
        const std::string folded = asciiLower(attribute.name);
        if (tombstone.values(attribute.name) != nullptr || folded == namingAttribute ||
            folded == "memberof") {
            continue;  // kept by the tombstone, set by the DN itself, or a membership
        }
        if (carriesSecret(attribute.name)) {
            secrets += (secrets.empty() ? "" : ", ") + attribute.name;
            continue;
        }
        if (attributes.maintained.count(folded) != 0) {
            notRestored += (notRestored.empty() ? "" : ", ") + attribute.name;
            continue;
        }
        if (namesAny(attribute.values, deleted)) {
            continue;  // a link, restored once its objects are back (linksBack)
        }
        change.modifications.push_back({ModOperation::Replace, attribute.name, attribute.values});
    }
    if (!notRestored.empty()) {
        change.comments.push_back("Not restored, the server maintains them: " + notRestored);
    }
    if (!secrets.empty()) {
        change.comments.push_back("Not restored, secrets are never written to a journal: " +
                                  secrets);
    }
    return change;
}

UndoRecord deleteRecord(std::vector<LdapEntry> entries) {
    if (entries.empty()) {
        return refusal(kNoEntry, kLdapNoResultsReturned);
    }
    for (const LdapEntry& entry : entries) {
        const std::vector<std::string>* guid = entry.values("objectGUID");
        if (guid == nullptr || guid->empty()) {
            return refusal(entry.dn + " has no readable objectGUID to find it again by",
                           kLdapLocalError);
        }
    }
    // Deepest first: the journal is applied in reverse, so parents come back first.
    std::stable_sort(entries.begin(), entries.end(), [](const LdapEntry& a, const LdapEntry& b) {
        return depthOf(a.dn) > depthOf(b.dn);
    });
    return UndoRecord{.text = deleteNotice(entries), .entries = std::move(entries)};
}

UndoRecord renameRecord(const std::vector<LdapEntry>& entries, const std::string& newRdn,
                        const std::string& newParent) {
    if (entries.empty()) {
        return refusal(kNoEntry, kLdapNoResultsReturned);
    }
    const std::optional<LdifChange> change = relocationUndo(entries.front().dn, newRdn, newParent);
    return change ? changeRecord(*change)
                  : refusal("it cannot be written as LDIF", kLdapLocalError);
}

UndoRecord modifyRecord(const std::string& dn, std::span<const Modification> modifications,
                        const std::vector<std::string>& asked,
                        const std::vector<LdapEntry>& entries, const AttributeSchema& schema,
                        bool permissive) {
    if (entries.empty()) {
        return refusal(kNoEntry, kLdapNoResultsReturned);
    }
    std::set<std::string> names;
    for (const std::string& name : asked) {
        names.insert(schema.canonical(name));
    }
    for (const LdapAttribute& attribute : entries.front().attributes) {
        if (names.count(schema.canonical(attribute.name)) == 0) {
            return refusal("the server answered " + attribute.name +
                               ", which cannot be told apart from the attributes asked for",
                           kLdapLocalError);
        }
    }
    const LdifChange change = modifyUndo(dn, modifications, entries.front(), schema, permissive);
    if (change.modifications.empty()) {
        return UndoRecord{.text = undoComment(change.comments)};  // passwords only
    }
    return changeRecord(change);
}

UndoRecord changeRecord(const LdifChange& change) {
    std::optional<std::string> text = ldifRecord(change);
    return text ? UndoRecord{.text = std::move(*text)}
                : refusal("it cannot be written as LDIF", kLdapLocalError);
}

}  // namespace kestrel
