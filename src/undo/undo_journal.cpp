#include "undo/undo_journal.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "directory/complete_read.h"
#include "directory/forwarding_connection.h"
#include "directory/tree_delete_rounds.h"
#include "directory/undelete_request.h"
#include "undo/no_undo_record.h"
#include "undo/pending_writes.h"
#include "undo/subtree_journal.h"
#include "undo/undo_records.h"
#include "util/terminal_text.h"
#include "util/tick_counter.h"

namespace kestrel {
namespace {

// Each write is held until its record is on disk. A write's call reads what it will
// change without waiting (sendSearch) and answers with a number of its own; the write
// itself leaves when a result is awaited: then every record whose read is in is appended,
// the journal synced once, and those writes sent together. So with a window of requests
// the reads and the writes are pipelined, and one sync covers a batch.
class JournalingConnection final : public ForwardingConnection {
  public:
    JournalingConnection(std::unique_ptr<LdapConnection> real, UndoJournal& journal,
                         Reporter& reporter, UndoAttributes attributes)
        : ForwardingConnection(std::move(real)),
          journal_(journal),
          reporter_(reporter),
          attributes_(std::move(attributes)) {}

    int sendDelete(const std::string& dn, const ServerControls& controls, int& messageId) override {
        PendingWrite pending(WriteKind::Delete, dn, controls);
        pending.read.base = dn;
        if (hasControl(controls, kTreeDeleteOid)) {
            // A subtree is read, and its record made, page by page before anything else is
            // sent for it; its record is on disk once the last page is in.
            pending.read.scope = kLdapScopeSubtree;
            pending.offset = journal_.size();
            std::string why;
            if (const int rc = journalSubtree(inner(), pending.read, journal_, pending.images,
                                              pending.length, why);
                rc != 0) {
                return reportRefusal(pending, why, rc);
            }
            pending.stage = RecordStage::OnDisk;
            return admit(std::move(pending), messageId);
        }
        return startRead(std::move(pending), messageId);
    }

    int sendRename(const std::string& dn, const std::string& newRdn, const std::string& newParent,
                   bool deleteOldRdn, const ServerControls& controls, int& messageId) override {
        PendingWrite pending(WriteKind::Rename, dn, controls);
        pending.newRdn = newRdn;
        pending.newParent = newParent;
        pending.deleteOldRdn = deleteOldRdn;
        // The way back names the object as the directory stores it, not as it was typed.
        pending.read.base = dn;
        pending.read.attributes = {"1.1"};
        return startRead(std::move(pending), messageId);
    }

    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override {
        const bool add = request == ModificationRequest::Add;
        PendingWrite pending(add ? WriteKind::Add : WriteKind::Modify, dn, controls);
        pending.modifications.assign(modifications.begin(), modifications.end());
        if (add) {
            const LdifChange change{.dn = dn,
                                    .kind = LdifChange::Kind::Delete,
                                    .comments = {"Undo of the add of " + dn}};
            return admitWithRecord(std::move(pending), changeRecord(change), messageId);
        }
        if (const std::optional<std::string> restored = undeletedDn(modifications, controls)) {
            const LdifChange change{.dn = *restored,
                                    .kind = LdifChange::Kind::Delete,
                                    .comments = {"Undo of the undelete of " + dn}};
            return admitWithRecord(std::move(pending), changeRecord(change), messageId);
        }
        if (dn.empty()) {
            pending.record =
                undoComment({"A RootDSE modify is an operation, not a stored change: it cannot "
                             "be undone."});
            return admit(std::move(pending), messageId);
        }
        // Unread, a name given by OID stays folded: the answer then refuses its target.
        std::string unread;
        const bool permissive = hasControl(controls, kPermissiveModifyOid);
        attributes_.schema.learn(inner(), modifications, permissive, unread);
        pending.read.base = dn;
        pending.read.attributes = attributesToRead(modifications, attributes_.schema, permissive);
        if (pending.read.attributes.empty()) {
            UndoRecord record =
                modifyRecord(dn, modifications, {}, {LdapEntry{dn, {}}}, attributes_.schema);
            return admitWithRecord(std::move(pending), std::move(record), messageId);
        }
        return startRead(std::move(pending), messageId);
    }

    // Only the password layer's own session sends it, journalled by JournalingPasswordSetter.
    int passwordModify(const std::string&, const std::string&) override {
        return kLdapNotSupported;
    }

    int waitForResult(int messageId, int timeoutSeconds, std::string& diagnostic,
                      bool& sent) override {
        if (!writes_.holds(messageId)) {
            return inner().waitForResult(messageId, timeoutSeconds, diagnostic, sent);
        }
        const std::int64_t start = monotonicMilliseconds();
        flush(messageId, timeoutSeconds);
        PendingWrite pending = writes_.release(messageId);
        diagnostic.clear();
        sent = pending.stage == RecordStage::Sent;
        if (!sent) {
            // Nothing was sent for it: its record could not be made, or its send failed.
            return pending.why.empty() ? refusalStatus(pending.code)
                                       : reportRefusal(pending, pending.why, pending.code);
        }
        const int code = inner().waitForResult(
            pending.writeId, secondsLeft(timeoutSeconds, monotonicMilliseconds() - start),
            diagnostic, sent);
        settleRecord(pending, requestFate(sent, code), code);
        return code;
    }

  private:
    std::string refusalLine(const PendingWrite& pending, const std::string& why) const {
        return noUndoRecordLine(pending.dn, why, "the " + pending.what() + " was not sent");
    }

    // The target fails: the refusal is told, and its status returned.
    int reportRefusal(const PendingWrite& pending, const std::string& why, int code) {
        reporter_.block(refusalLine(pending, why));
        return refusalStatus(code);
    }

    // Taken on: the caller gets a number of this connection's own to await.
    int admit(PendingWrite pending, int& messageId) {
        messageId = writes_.admit(std::move(pending));
        return 0;
    }

    // Taken on with its record made; a record that cannot be made fails the target at once.
    int admitWithRecord(PendingWrite pending, UndoRecord record, int& messageId) {
        takeRecord(pending, std::move(record));
        if (pending.stage == RecordStage::Refused) {
            return reportRefusal(pending, pending.why, pending.code);
        }
        return admit(std::move(pending), messageId);
    }

    int startRead(PendingWrite pending, int& messageId) {
        if (const int rc = inner().sendSearch(pending.read, pending.readId); rc != 0) {
            return reportRefusal(pending, "it could not be read (" + ldapErrorText(rc) + ")", rc);
        }
        return admit(std::move(pending), messageId);
    }

    // Makes the record of a pending write from its read's answer.
    void recordFrom(PendingWrite& pending, int code, std::vector<LdapEntry> answered) {
        if (code != 0) {
            markRefused(pending, "it could not be read (" + ldapErrorText(code) + ")", code);
            return;
        }
        std::vector<LdapEntry> entries;
        std::string why;
        if (const int rc = completeRanges(inner(), pending.read, answered, entries, why); rc != 0) {
            markRefused(pending, why, rc);
            return;
        }
        switch (pending.kind) {
            case WriteKind::Delete:
                takeRecord(pending, deleteRecord(std::move(entries)));
                break;
            case WriteKind::Rename:
                takeRecord(pending, renameRecord(entries, pending.newRdn, pending.newParent));
                break;
            case WriteKind::Modify:
                takeRecord(pending,
                           modifyRecord(pending.dn, pending.modifications, pending.read.attributes,
                                        entries, attributes_.schema,
                                        hasControl(pending.controls, kPermissiveModifyOid)));
                break;
            case WriteKind::Add:
                break;
        }
    }

    // Before `awaited`'s result is read: its own read is waited for, later reads that are
    // in are taken too; every record made is appended, the journal synced once, and their
    // writes sent, in the order they were asked for.
    void flush(int awaited, int timeoutSeconds) {
        takeAnsweredReads(awaited, timeoutSeconds);
        appendAndSend();
    }

    void takeAnsweredReads(int awaited, int timeoutSeconds) {
        for (const int id : writes_.inOrder()) {
            PendingWrite& pending = writes_.at(id);
            if (pending.stage != RecordStage::Reading) {
                continue;
            }
            std::vector<LdapEntry> answered;
            const int code = inner().searchResult(
                pending.readId, id == awaited ? timeoutSeconds : kPollAndKeep, answered);
            if (id != awaited && code == kLdapTimeout) {
                continue;  // not in yet: a later batch takes it
            }
            recordFrom(pending, code, std::move(answered));
        }
    }

    // The records made are appended and synced once, then their writes sent; a tree
    // delete's record is on disk already, and its write goes first.
    void appendAndSend() {
        std::vector<PendingWrite*> batch;
        std::vector<PendingWrite*> onDisk;
        const std::uint64_t batchStart = journal_.size();
        for (const int id : writes_.inOrder()) {
            PendingWrite& pending = writes_.at(id);
            if (pending.stage == RecordStage::OnDisk) {
                onDisk.push_back(&pending);
            }
            if (pending.stage != RecordStage::Ready) {
                continue;
            }
            std::string why;
            pending.offset = journal_.size();
            pending.length = pending.record.size();
            if (!journal_.append(pending.record, why, false)) {
                markRefused(pending, "the journal could not be written (" + why + ")",
                            kLdapLocalError);
                continue;
            }
            batch.push_back(&pending);
        }
        for (PendingWrite* pending : onDisk) {
            send(*pending);
        }
        if (batch.empty()) {
            return;
        }
        if (std::string why; !journal_.sync(why)) {
            std::string ignored;
            journal_.truncateTo(batchStart, ignored);
            for (PendingWrite* pending : batch) {
                markRefused(*pending, "the journal could not be synced (" + why + ")",
                            kLdapLocalError);
            }
            return;
        }
        for (PendingWrite* pending : batch) {
            send(*pending);
        }
    }

    void send(PendingWrite& pending) {
        int sent = 0;
        switch (pending.kind) {
            case WriteKind::Delete:
                sent = inner().sendDelete(pending.dn, pending.controls, pending.writeId);
                break;
            case WriteKind::Rename:
                sent = inner().sendRename(pending.dn, pending.newRdn, pending.newParent,
                                          pending.deleteOldRdn, pending.controls, pending.writeId);
                break;
            case WriteKind::Modify:
            case WriteKind::Add:
                sent = inner().sendModifications(
                    pending.kind == WriteKind::Add ? ModificationRequest::Add
                                                   : ModificationRequest::Modify,
                    pending.dn, pending.modifications, pending.controls, pending.writeId);
                break;
        }
        if (sent != 0 || pending.writeId == 0) {
            withdraw(pending, "the " + pending.what() + " was not sent, nothing to undo.");
            markRefused(pending, std::string(), sent);  // the comment withdrawn says why
            return;
        }
        pending.stage = RecordStage::Sent;
    }

    // What the write's answer means for its record: a delete done gets its reanimation
    // records, an unknown outcome leaves the record with a warning, a failure takes it back.
    void settleRecord(PendingWrite& pending, RequestFate fate, int code) {
        switch (fate) {
            case RequestFate::Done:
                if (!pending.images.empty()) {
                    journalReanimations(inner(), journal_, reporter_, pending.images,
                                        DeletedObjects{pending.dn}, reanimationAttributes());
                }
                break;
            case RequestFate::Unknown:
                // The server may have carried the write out before the answer was lost.
                reporter_.block("WARN: " + terminalDn(pending.dn) + ": the " + pending.what() +
                                " may or may not have been applied (" + ldapErrorText(code) +
                                "); its undo record stays in the journal.\n");
                break;
            case RequestFate::Failed:
            case RequestFate::NotSent:
                if (journalPartialTreeDelete(pending, code)) {
                    break;
                }
                withdraw(pending, "the " + pending.what() + " failed (" + ldapErrorText(code) +
                                      "), so there is nothing to undo.");
                break;
        }
    }

    // A record whose write the server refused: cut back when it is the journal's last,
    // otherwise commented out in place (later records stay where they are), then a comment
    // says why.
    void withdraw(const PendingWrite& pending, const std::string& comment) {
        std::string why;
        const std::uint64_t length = pending.length;
        const bool withdrawn = pending.offset + length == journal_.size()
                                   ? journal_.truncateTo(pending.offset, why)
                                   : journal_.commentOut(pending.offset, length, why);
        if (!withdrawn) {
            reporter_.block("WARN: " + terminalDn(pending.dn) + ": the record of the failed " +
                            pending.what() + " could not be taken back (" + why +
                            "); applying the journal may fail on it.\n");
            return;
        }
        appendAfter(pending, undoComment({pending.dn + ": " + comment}));
    }

    // A record after its write was sent: a failure cannot hold the write back any more,
    // so the admin is told which target's record is missing.
    void appendAfter(const PendingWrite& pending, const std::string& text) {
        std::string why;
        if (!journal_.append(text, why)) {
            reporter_.block("WARN: " + terminalDn(pending.dn) +
                            ": the undo journal could not be written after the " + pending.what() +
                            " (" + why + "); its record is missing from the journal.\n");
        }
    }

    // A tree delete cut short at the server's limit deleted part of the tree: the objects
    // gone since its read get their records. False: it deleted nothing.
    bool journalPartialTreeDelete(PendingWrite& pending, int code) {
        if (pending.kind != WriteKind::Delete || code != kLdapAdminLimitExceeded ||
            !hasControl(pending.controls, kTreeDeleteOid)) {
            return false;
        }
        std::set<std::string> left;
        if (std::string why; readSubtreeNames(inner(), pending.dn, left, why) != 0) {
            reporter_.block("WARN: " + terminalDn(pending.dn) +
                            ": what is left of the tree could not be read (" + why +
                            "); its undo record stays in the journal.\n");
            return true;
        }
        if (!anyDeleted(pending.images, left)) {
            return false;
        }
        journalReanimations(inner(), journal_, reporter_, pending.images,
                            DeletedObjects{pending.dn, &left}, reanimationAttributes());
        return true;
    }

    // What a reanimation cannot write back: the schema's part is read once, at the first
    // delete that needs it; unreadable, the fixed list alone.
    const UndoAttributes& reanimationAttributes() {
        if (!notWritableRead_) {
            notWritableRead_ = true;
            std::string why;
            attributes_.schema.readNotWritable(inner(), attributes_.maintained, why);
        }
        return attributes_;
    }

    UndoJournal& journal_;
    Reporter& reporter_;
    UndoAttributes attributes_;
    bool notWritableRead_ = false;  // the schema's system-only and constructed attributes
    PendingWrites writes_;
};

}  // namespace

std::unique_ptr<LdapConnection> journalingConnection(std::unique_ptr<LdapConnection> real,
                                                     UndoJournal& journal, Reporter& reporter,
                                                     UndoAttributes attributes) {
    return std::make_unique<JournalingConnection>(std::move(real), journal, reporter,
                                                  std::move(attributes));
}

}  // namespace kestrel
