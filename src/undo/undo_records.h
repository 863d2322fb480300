// The LDIF records that reverse one write, built from what the write sends and what the
// directory held before it. Pure: no connection, no file; the journaling connection reads
// and writes, these decide what the records say.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "directory/attribute_schema.h"
#include "directory/ldap_client.h"
#include "ldif/ldif_writer.h"
#include "undo/undo_attributes.h"

namespace kestrel {

// Whether a delete removed the object a DN names.
using RemovedByDelete = std::function<bool(const std::string& dn)>;

// The journal's text for one write, made from what the directory held before it; or why
// none can be made, and then the write is not sent.
struct UndoRecord {
    std::string text{};
    std::vector<LdapEntry> entries{};  // a delete's objects, deepest first, for their reanimation
    std::string why{};                 // not empty: no record, for this reason
    int code = 0;                      // with `why`: the target's status
};

// A delete's: the notice of every object it removes (each must have an objectGUID).
UndoRecord deleteRecord(std::vector<LdapEntry> entries);
// A rename's or move's, from the object's entry as stored (relocationUndo).
UndoRecord renameRecord(const std::vector<LdapEntry>& entries, const std::string& newRdn,
                        const std::string& newParent);
// A modify's (modifyUndo), from its object's entry as answered when `asked` was read; an
// answered attribute the schema cannot tie to one asked for would be taken for an absent
// one, so no record is made.
UndoRecord modifyRecord(const std::string& dn, std::span<const Modification> modifications,
                        const std::vector<std::string>& asked,
                        const std::vector<LdapEntry>& entries, const AttributeSchema& schema,
                        bool permissive = false);
// `change` written as a record.
UndoRecord changeRecord(const LdifChange& change);

// A paragraph of "# " lines ending with an empty line; no text can end a comment early.
std::string undoComment(const std::vector<std::string>& lines);

// The attributes of a modify whose previous values its undo needs: those it replaces or
// clears (a value added or removed is undone by the value itself), and with `permissive`
// (the modify carries the permissive control) every one it touches, since a value added
// may have been there and one removed may have been absent. Passwords are left out.
std::vector<std::string> attributesToRead(std::span<const Modification> modifications,
                                          const AttributeSchema& schema, bool permissive = false);

// The exact inverse of a successful modify, value by value, so that applying it fails
// rather than overwrites when the object no longer holds what the run wrote: a value added
// is deleted, a value removed is added back; an attribute replaced or cleared first loses
// exactly the values the run left, then gets `before`'s back. `before` holds the previous
// values of attributesToRead's attributes (matched through the schema's names). With
// `permissive`, a value added that `before` held or one removed that it did not changed
// nothing and is left out (values compared as directory/value_match says).
LdifChange modifyUndo(const std::string& dn, std::span<const Modification> modifications,
                      const LdapEntry& before, const AttributeSchema& schema,
                      bool permissive = false);

// The moddn that puts an object back where and as it was; `storedDn` is its DN as the
// directory stores it, `newRdn` and `newParent` what the request sends. Nothing when
// `storedDn` is not a DN.
std::optional<LdifChange> relocationUndo(const std::string& storedDn, const std::string& newRdn,
                                         const std::string& newParent);

// The comment naming the objectGUID of every object a delete removes: the way back by hand
// if the run stops before their reanimation records.
std::string deleteNotice(const std::vector<LdapEntry>& entries);

// What a reanimation cannot carry, as records applied after every reanimation: values that
// name other objects of the same delete, and the object's memberships in other groups.
// `deleted` tells the objects of the delete.
std::vector<LdifChange> linksBack(const LdapEntry& before, const RemovedByDelete& deleted,
                                  const UndoAttributes& attributes);

// The record that brings a deleted object back from its tombstone with what it had,
// except what the server maintains and any secret (both named in comments).
LdifChange reanimation(const LdapEntry& before, const LdapEntry& tombstone,
                       const RemovedByDelete& deleted, const UndoAttributes& attributes);

}  // namespace kestrel
