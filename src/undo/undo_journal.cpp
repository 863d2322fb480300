#include "undo/undo_journal.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "directory/complete_read.h"
#include "directory/forwarding_connection.h"
#include "directory/tree_delete_rounds.h"
#include "directory/undelete_request.h"
#include "undo/subtree_journal.h"
#include "util/ascii_case.h"
#include "util/secret_memory.h"
#include "util/terminal_text.h"
#include "util/tick_counter.h"

namespace kestrel {
namespace {

// Attributes the directory keeps up to date itself; the schema does not mark them, but a
// client's write of them is refused or overwritten on a reanimated object.
constexpr const char* kMaintainedByTheServer[] = {
    "badpasswordtime",
    "badpwdcount",
    "lastlogoff",
    "lastlogon",
    "lastlogontimestamp",
    "logoncount",
    "pwdlastset",
    "samaccounttype",
    "primarygroupid",
    "objectcategory",
    "name",
    "distinguishedname",
    "objectclass",
    "isdeleted",
    "lastknownparent",
    "isrecycled",
    "objectguid",
    "objectsid",
    "whencreated",
    "whenchanged",
    "usncreated",
    "usnchanged",
    "instancetype",
    "dscorepropagationdata",
    "memberof",
    "replpropertymetadata",
};

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
        Pending pending(Kind::Delete, "delete", dn, controls);
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
                return refuse(pending, why, rc);
            }
            pending.stage = Stage::OnDisk;
            return admit(std::move(pending), messageId);
        }
        return startRead(std::move(pending), messageId);
    }

    int sendRename(const std::string& dn, const std::string& newRdn, const std::string& newParent,
                   bool deleteOldRdn, const ServerControls& controls, int& messageId) override {
        Pending pending(Kind::Rename, "rename", dn, controls);
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
        Pending pending(add ? Kind::Add : Kind::Modify, add ? "add" : "modify", dn, controls);
        pending.modifications.assign(modifications.begin(), modifications.end());
        if (add) {
            const LdifChange change{.dn = dn,
                                    .kind = LdifChange::Kind::Delete,
                                    .comments = {"Undo of the add of " + dn}};
            return recordOrRefuse(std::move(pending), change, messageId);
        }
        if (const std::optional<std::string> restored = undeletedDn(modifications, controls)) {
            const LdifChange change{.dn = *restored,
                                    .kind = LdifChange::Kind::Delete,
                                    .comments = {"Undo of the undelete of " + dn}};
            return recordOrRefuse(std::move(pending), change, messageId);
        }
        if (dn.empty()) {
            pending.record = undoComment(
                {"A RootDSE modify is an operation, not a stored change: it cannot be undone."});
            return admit(std::move(pending), messageId);
        }
        // Unread, a name given by OID stays folded: the answer then refuses its target.
        std::string unread;
        const bool permissive = hasControl(controls, kPermissiveModifyOid);
        attributes_.schema.learn(inner(), modifications, permissive, unread);
        pending.read.base = dn;
        pending.read.attributes = attributesToRead(modifications, attributes_.schema, permissive);
        if (pending.read.attributes.empty()) {
            take(pending,
                 modifyRecord(dn, modifications, {}, {LdapEntry{dn, {}}}, attributes_.schema));
            return pending.stage == Stage::Refused ? refuse(pending, pending.why, pending.code)
                                                   : admit(std::move(pending), messageId);
        }
        return startRead(std::move(pending), messageId);
    }

    // Only the password layer's own session sends it, journalled by JournalingPasswordSetter.
    int passwordModify(const std::string&, const std::string&) override {
        return kLdapNotSupported;
    }

    int waitForResult(int messageId, int timeoutSeconds, std::string& diagnostic,
                      bool& sent) override {
        const auto found = pending_.find(messageId);
        if (found == pending_.end()) {
            return inner().waitForResult(messageId, timeoutSeconds, diagnostic, sent);
        }
        const std::int64_t start = monotonicMilliseconds();
        flush(messageId, timeoutSeconds);
        Pending pending = std::move(found->second);
        pending_.erase(found);
        order_.erase(std::find(order_.begin(), order_.end(), messageId));
        diagnostic.clear();
        sent = pending.stage == Stage::Sent;
        if (!sent) {
            // Nothing was sent for it: its record could not be made, or its send failed.
            if (!pending.why.empty()) {
                reporter_.block(refusalLine(pending, pending.why));
            }
            return pending.code != 0 ? pending.code : kLdapLocalError;
        }
        const int code = inner().waitForResult(
            pending.writeId, secondsLeft(timeoutSeconds, monotonicMilliseconds() - start),
            diagnostic, sent);
        switch (requestFate(sent, code)) {
            case RequestFate::Done:
                if (!pending.images.empty()) {
                    journalReanimations(inner(), journal_, reporter_, pending.images,
                                        DeletedObjects{pending.dn}, reanimationAttributes());
                }
                break;
            case RequestFate::Unknown:
                // The server may have carried the write out before the answer was lost.
                reporter_.block("WARN: " + terminalDn(pending.dn) + ": the " + pending.what +
                                " may or may not have been applied (" + ldapErrorText(code) +
                                "); its undo record stays in the journal.\n");
                break;
            case RequestFate::Failed:
            case RequestFate::NotSent:
                if (journalPartialTreeDelete(pending, code)) {
                    break;
                }
                withdraw(pending, "the " + pending.what + " failed (" + ldapErrorText(code) +
                                      "), so there is nothing to undo.");
                break;
        }
        return code;
    }

  private:
    enum class Kind { Delete, Rename, Modify, Add };
    enum class Stage {
        Reading,  // its read is outstanding
        Ready,    // its record is made, not yet on disk
        OnDisk,   // its record is on disk (a tree's, written as it was read), its write not sent
        Sent,     // its record is on disk and its write sent
        Refused,  // nothing is sent for it: `code` and `why`
    };

    struct Pending {
        Pending(Kind kindOfWrite, std::string name, std::string target, ServerControls sent)
            : kind(kindOfWrite),
              what(std::move(name)),
              dn(std::move(target)),
              controls(std::move(sent)) {}
        Pending(Pending&&) = default;
        Pending& operator=(Pending&&) = default;
        // The values may hold a password (unicodePwd): gone from memory with the write.
        ~Pending() {
            for (Modification& modification : modifications) {
                std::for_each(modification.values.begin(), modification.values.end(), wipeText);
            }
        }
        Kind kind;
        std::string what;
        std::string dn;
        ServerControls controls;
        std::vector<Modification> modifications;
        std::string newRdn;
        std::string newParent;
        bool deleteOldRdn = true;
        SearchRequest read;  // what its record needs to know
        int readId = 0;
        Stage stage = Stage::Reading;
        std::string record;
        std::uint64_t offset = 0;  // where its record stands in the journal
        std::uint64_t length = 0;  // and its length
        PreImages images;          // a delete's objects as they were
        int writeId = 0;
        int code = 0;
        std::string why;
    };

    std::string refusalLine(const Pending& pending, const std::string& why) const {
        return "ERROR: No undo record for " + terminalDn(pending.dn) + ": " + why + "; the " +
               pending.what + " was not sent.\n";
    }

    // The target fails at once, before anything is sent for it.
    int refuse(const Pending& pending, const std::string& why, int code) {
        reporter_.block(refusalLine(pending, why));
        return code != 0 ? code : kLdapLocalError;
    }

    // Taken on: the caller gets a number of this connection's own to await.
    int admit(Pending pending, int& messageId) {
        if (pending.stage == Stage::Reading && pending.readId == 0) {
            pending.stage = Stage::Ready;
        }
        messageId = nextId_++;
        order_.push_back(messageId);
        pending_.emplace(messageId, std::move(pending));
        return 0;
    }

    int startRead(Pending pending, int& messageId) {
        if (const int rc = inner().sendSearch(pending.read, pending.readId); rc != 0) {
            return refuse(pending, "it could not be read (" + ldapErrorText(rc) + ")", rc);
        }
        return admit(std::move(pending), messageId);
    }

    int recordOrRefuse(Pending pending, const LdifChange& change, int& messageId) {
        take(pending, changeRecord(change));
        if (pending.stage == Stage::Refused) {
            return refuse(pending, pending.why, pending.code);
        }
        return admit(std::move(pending), messageId);
    }

    static void fail(Pending& pending, std::string why, int code) {
        pending.stage = Stage::Refused;
        pending.why = std::move(why);
        pending.code = code != 0 ? code : kLdapLocalError;
    }

    // Makes the record of a pending write from its read's answer.
    void recordFrom(Pending& pending, int code, std::vector<LdapEntry> answered) {
        if (code != 0) {
            fail(pending, "it could not be read (" + ldapErrorText(code) + ")", code);
            return;
        }
        std::vector<LdapEntry> entries;
        std::string why;
        if (const int rc = completeRanges(inner(), pending.read, answered, entries, why); rc != 0) {
            fail(pending, why, rc);
            return;
        }
        switch (pending.kind) {
            case Kind::Delete:
                take(pending, deleteRecord(std::move(entries)));
                break;
            case Kind::Rename:
                take(pending, renameRecord(entries, pending.newRdn, pending.newParent));
                break;
            case Kind::Modify:
                take(pending, modifyRecord(pending.dn, pending.modifications,
                                           pending.read.attributes, entries, attributes_.schema,
                                           hasControl(pending.controls, kPermissiveModifyOid)));
                break;
            case Kind::Add:
                break;
        }
    }

    static void take(Pending& pending, UndoRecord record) {
        if (!record.why.empty()) {
            fail(pending, std::move(record.why), record.code);
            return;
        }
        pending.stage = Stage::Ready;
        pending.record = std::move(record.text);
        for (const LdapEntry& entry : record.entries) {
            std::string ignored;  // in memory: cannot fail
            pending.images.add(entry, ignored);
        }
    }

    // Before `awaited`'s result is read: its own read is waited for, later reads that are
    // in are taken too; every record made is appended, the journal synced once, and their
    // writes sent, in the order they were asked for.
    void flush(int awaited, int timeoutSeconds) {
        for (const int id : order_) {
            Pending& pending = pending_.at(id);
            if (pending.stage != Stage::Reading) {
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
        std::vector<Pending*> batch;
        std::vector<Pending*> onDisk;
        const std::uint64_t batchStart = journal_.size();
        for (const int id : order_) {
            Pending& pending = pending_.at(id);
            if (pending.stage == Stage::OnDisk) {
                onDisk.push_back(&pending);
            }
            if (pending.stage != Stage::Ready) {
                continue;
            }
            std::string why;
            pending.offset = journal_.size();
            pending.length = pending.record.size();
            if (!journal_.append(pending.record, why, false)) {
                fail(pending, "the journal could not be written (" + why + ")", kLdapLocalError);
                continue;
            }
            batch.push_back(&pending);
        }
        for (Pending* pending : onDisk) {
            send(*pending);
        }
        if (batch.empty()) {
            return;
        }
        if (std::string why; !journal_.sync(why)) {
            std::string ignored;
            journal_.truncateTo(batchStart, ignored);
            for (Pending* pending : batch) {
                fail(*pending, "the journal could not be synced (" + why + ")", kLdapLocalError);
            }
            return;
        }
        for (Pending* pending : batch) {
            send(*pending);
        }
    }

    void send(Pending& pending) {
        int sent = 0;
        switch (pending.kind) {
            case Kind::Delete:
                sent = inner().sendDelete(pending.dn, pending.controls, pending.writeId);
                break;
            case Kind::Rename:
                sent = inner().sendRename(pending.dn, pending.newRdn, pending.newParent,
                                          pending.deleteOldRdn, pending.controls, pending.writeId);
                break;
            case Kind::Modify:
            case Kind::Add:
                sent = inner().sendModifications(
                    pending.kind == Kind::Add ? ModificationRequest::Add
                                              : ModificationRequest::Modify,
                    pending.dn, pending.modifications, pending.controls, pending.writeId);
                break;
        }
        if (sent != 0 || pending.writeId == 0) {
            withdraw(pending, "the " + pending.what + " was not sent, nothing to undo.");
            pending.stage = Stage::Refused;
            pending.code = sent != 0 ? sent : kLdapLocalError;
            return;
        }
        pending.stage = Stage::Sent;
    }

    // A record whose write the server refused: cut back when it is the journal's last,
    // otherwise commented out in place (later records stay where they are), then a comment
    // says why.
    void withdraw(const Pending& pending, const std::string& comment) {
        std::string why;
        const std::uint64_t length = pending.length;
        const bool withdrawn = pending.offset + length == journal_.size()
                                   ? journal_.truncateTo(pending.offset, why)
                                   : journal_.commentOut(pending.offset, length, why);
        if (!withdrawn) {
            reporter_.block("WARN: " + terminalDn(pending.dn) + ": the record of the failed " +
                            pending.what + " could not be taken back (" + why +
                            "); applying the journal may fail on it.\n");
            return;
        }
        appendAfter(pending, undoComment({pending.dn + ": " + comment}));
    }

    // A record after its write was sent: a failure cannot hold the write back any more,
    // so the admin is told which target's record is missing.
    void appendAfter(const Pending& pending, const std::string& text) {
        std::string why;
        if (!journal_.append(text, why)) {
            reporter_.block("WARN: " + terminalDn(pending.dn) +
                            ": the undo journal could not be written after the " + pending.what +
                            " (" + why + "); its record is missing from the journal.\n");
        }
    }

    // A tree delete cut short at the server's limit deleted part of the tree: the objects
    // gone since its read get their records. False: it deleted nothing.
    bool journalPartialTreeDelete(Pending& pending, int code) {
        if (pending.kind != Kind::Delete || code != kLdapAdminLimitExceeded ||
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
    std::map<int, Pending> pending_;
    std::vector<int> order_;  // the pending writes' numbers, in the order they were asked for
    int nextId_ = 1;
};

}  // namespace

UndoAttributes undoAttributes(const std::string& schemaNamingContext) {
    UndoAttributes attributes{.schema = AttributeSchema(schemaNamingContext), .maintained = {}};
    attributes.maintained.insert(std::begin(kMaintainedByTheServer),
                                 std::end(kMaintainedByTheServer));
    return attributes;
}

std::unique_ptr<LdapConnection> journalingConnection(std::unique_ptr<LdapConnection> real,
                                                     UndoJournal& journal, Reporter& reporter,
                                                     UndoAttributes attributes) {
    return std::make_unique<JournalingConnection>(std::move(real), journal, reporter,
                                                  std::move(attributes));
}

std::int32_t JournalingPasswordSetter::setPassword(Reporter& reporter,
                                                   const std::string& serverName,
                                                   const std::string& dn,
                                                   const std::string& password) {
    std::string why;
    if (!journal_.append(undoComment({dn + ": its password is set by this run (#setpwd#); a "
                                           "password cannot be read back, so this cannot be "
                                           "undone."}),
                         why)) {
        reporter.block("ERROR: No undo record for " + terminalDn(dn) +
                       ": the journal could not be written (" + why +
                       "); the password was not set.\n");
        return static_cast<std::int32_t>(0x8007001Fu);  // ERROR_GEN_FAILURE as an HRESULT
    }
    return real_.setPassword(reporter, serverName, dn, password);
}

}  // namespace kestrel
