#include "undo/subtree_journal.h"

#include <optional>
#include <utility>
#include <vector>

#include "directory/complete_read.h"
#include "dn/dn_components.h"
#include "util/ascii_case.h"
#include "util/hex_text.h"
#include "util/terminal_text.h"

namespace kestrel {
namespace {

// Records after a delete go to the journal in parts of about this size, one sync at the end.
constexpr std::size_t kPartBytes = 64 * 1024;

class PartAppender {
  public:
    explicit PartAppender(UndoJournal& journal) : journal_(journal) {}
    void add(const std::string& text) {
        text_ += text;
        if (text_.size() >= kPartBytes) {
            write(false);
        }
    }
    // Writes what is left and syncs; false with the first failure's reason.
    bool finish(std::string& why) {
        write(true);
        why = why_;
        return ok_;
    }

  private:
    void write(bool sync) {
        if (ok_) {
            ok_ = text_.empty() ? !sync || journal_.sync(why_) : journal_.append(text_, why_, sync);
        }
        text_.clear();
    }

    UndoJournal& journal_;
    std::string text_;
    std::string why_;
    bool ok_ = true;
};

// Whether a DN names `deleted.dn` or an object below it that is gone: a sure match of its
// last components, as the directory writes them.
RemovedByDelete removedBy(const DeletedObjects& deleted) {
    return [&deleted, root = explodeDn(deleted.dn)](const std::string& dn) {
        if (!root || dn.find('=') == std::string::npos) {
            return false;
        }
        const std::optional<std::vector<std::string>> components = explodeDn(dn);
        if (!components || components->size() < root->size()) {
            return false;
        }
        std::string suffix;
        for (std::size_t i = components->size() - root->size(); i < components->size(); ++i) {
            suffix += (suffix.empty() ? "" : ",") + (*components)[i];
        }
        return sameDn(suffix, deleted.dn) &&
               (deleted.left == nullptr || deleted.left->count(asciiLower(dn)) == 0);
    };
}

std::string textOrComment(const LdifChange& change, const std::string& dn) {
    const std::optional<std::string> record = ldifRecord(change);
    return record ? *record : undoComment({dn + ": its undo cannot be written as LDIF."});
}

std::string reanimationOf(LdapConnection& connection, const LdapEntry& entry,
                          const RemovedByDelete& removed, const UndoAttributes& attributes) {
    const std::string guid = hexText(entry.values("objectGUID")->front());
    SearchRequest request;
    request.base = "<GUID=" + guid + ">";
    request.controls = {ServerControl{kShowDeletedOid, "", true}};
    std::vector<LdapEntry> tombstones;
    const int rc = connection.search(request, tombstones);
    if (rc != 0 || tombstones.empty()) {
        return undoComment({entry.dn + ": its tombstone (objectGUID " + guid + ") was not found (" +
                            ldapErrorText(rc) + "); reanimate it by hand."});
    }
    return textOrComment(reanimation(entry, tombstones.front(), removed, attributes), entry.dn);
}

}  // namespace

int journalSubtree(LdapConnection& connection, const SearchRequest& read, UndoJournal& journal,
                   PreImages& images, std::uint64_t& length, std::string& why) {
    const std::uint64_t start = journal.size();
    if (!images.spoolIn(journal.directory(), why)) {
        why = "its objects could not be set aside (" + why + ")";
        return kLdapLocalError;
    }
    const auto page = [&](std::vector<LdapEntry>& entries) {
        if (entries.empty()) {
            return 0;
        }
        UndoRecord record = deleteRecord(std::move(entries));
        if (!record.why.empty()) {
            why = std::move(record.why);
            return record.code;
        }
        for (const LdapEntry& entry : record.entries) {
            if (!images.add(entry, why)) {
                why = "its objects could not be set aside (" + why + ")";
                return kLdapLocalError;
            }
        }
        if (!journal.append(record.text, why, false)) {
            why = "the journal could not be written (" + why + ")";
            return kLdapLocalError;
        }
        return 0;
    };
    int code = readCompletePages(connection, read, page, why);
    if (code == 0 && images.empty()) {
        UndoRecord none = deleteRecord({});
        why = std::move(none.why);
        code = none.code;
    }
    if (code == 0 && !journal.sync(why)) {
        why = "the journal could not be synced (" + why + ")";
        code = kLdapLocalError;
    }
    if (code != 0) {
        std::string ignored;
        journal.truncateTo(start, ignored);
        return code;
    }
    length = journal.size() - start;
    return 0;
}

void journalReanimations(LdapConnection& connection, UndoJournal& journal, Reporter& reporter,
                         const PreImages& images, const DeletedObjects& deleted,
                         const UndoAttributes& attributes) {
    if (images.empty()) {
        return;
    }
    const RemovedByDelete removed = removedBy(deleted);
    const auto gone = [&deleted](const LdapEntry& entry) {
        return deleted.left == nullptr || deleted.left->count(asciiLower(entry.dn)) == 0;
    };
    PartAppender appender(journal);
    std::string why;
    const bool read =
        images.forEach(
            [&](const LdapEntry& entry) {
                if (gone(entry)) {
                    for (const LdifChange& change : linksBack(entry, removed, attributes)) {
                        appender.add(textOrComment(change, entry.dn));
                    }
                }
                return true;
            },
            why) &&
        images.forEachDeepestFirst(
            [&](const LdapEntry& entry) {
                if (gone(entry)) {
                    appender.add(reanimationOf(connection, entry, removed, attributes));
                }
                return true;
            },
            why);
    std::string written;
    if (!appender.finish(written) || !read) {
        reporter.block("WARN: " + terminalDn(deleted.dn) +
                       ": the undo journal could not be written after the delete (" +
                       (read ? written : why) + "); its record is missing from the journal.\n");
    }
}

bool anyDeleted(const PreImages& images, const std::set<std::string>& left) {
    bool found = false;
    std::string why;
    const bool walked = images.forEach(
        [&](const LdapEntry& entry) {
            found = left.count(asciiLower(entry.dn)) == 0;
            return !found;
        },
        why);
    // Unreadable: kept, so that journalReanimations tells what is missing.
    return found || !walked;
}

}  // namespace kestrel
