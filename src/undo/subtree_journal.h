// The undo journal's part of a delete: a tree's objects named in the journal page by page as
// its subtree is read, and once the delete succeeded, the records that bring every object
// back, made one object at a time from the pre-images kept aside (undo/pre_images), so that
// neither the run's memory nor a single record grows with the tree.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "directory/ldap_client.h"
#include "undo/pre_images.h"
#include "undo/undo_journal_file.h"
#include "undo/undo_records.h"
#include "util/reporter.h"

namespace kestrel {

// Reads the subtree of `read.base` a page at a time; each page's objects are named in the
// journal (deleteRecord's notice) and their pre-images go to `images` (spooled beside the
// journal) before the next page is asked for; the journal is synced once the last page is
// in. On success `length` is what was appended. Non-zero: the journal is as it was and `why`
// says what failed.
int journalSubtree(LdapConnection& connection, const SearchRequest& read, UndoJournal& journal,
                   PreImages& images, std::uint64_t& length, std::string& why);

// What a delete of `dn` and everything below it removed, as the journal's records see it.
struct DeletedObjects {
    std::string dn;
    // Folded names of objects still there after a tree delete cut short; null: all gone.
    const std::set<std::string>* left = nullptr;
};

// After a delete that removed objects of `images`: links and group memberships first in the
// file, so that the reversed journal applies them last, once every object they name is back;
// then each removed object's reanimation, deepest first. Appended in parts, synced at the
// end; a failure is told with a WARN line naming `dn`.
void journalReanimations(LdapConnection& connection, UndoJournal& journal, Reporter& reporter,
                         const PreImages& images, const DeletedObjects& deleted,
                         const UndoAttributes& attributes);

// Whether any object of `images` is gone after a tree delete cut short (`left`: the folded
// names still there).
bool anyDeleted(const PreImages& images, const std::set<std::string>& left);

}  // namespace kestrel
