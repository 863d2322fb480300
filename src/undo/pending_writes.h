// The writes the journaling connection holds until their undo records are on disk: what
// each will send, how far its record has come, and where that record stands in the journal.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "directory/ldap_client.h"
#include "undo/pre_images.h"
#include "undo/undo_records.h"

namespace kestrel {

enum class WriteKind { Delete, Rename, Modify, Add };

enum class RecordStage {
    Reading,  // its read is outstanding
    Ready,    // its record is made, not yet on disk
    OnDisk,   // its record is on disk (a tree's, written as it was read), its write not sent
    Sent,     // its record is on disk and its write sent
    Refused,  // nothing is sent for it: `code` and `why`
};

struct PendingWrite {
    PendingWrite(WriteKind kindOfWrite, std::string target, ServerControls sent);
    PendingWrite(PendingWrite&&) = default;
    PendingWrite& operator=(PendingWrite&&) = default;
    // The values may hold a password (unicodePwd): gone from memory with the write.
    ~PendingWrite();

    // The write as the messages name it: "delete", "rename", "modify" or "add".
    std::string what() const;

    WriteKind kind;
    std::string dn;
    ServerControls controls;
    std::vector<Modification> modifications;
    std::string newRdn;
    std::string newParent;
    bool deleteOldRdn = true;
    SearchRequest read;  // what its record needs to know
    int readId = 0;
    RecordStage stage = RecordStage::Reading;
    std::string record;
    std::uint64_t offset = 0;  // where its record stands in the journal
    std::uint64_t length = 0;  // and its length
    PreImages images;          // a delete's objects as they were
    int writeId = 0;
    int code = 0;
    std::string why;
};

// The status of a write that was not sent: its code, or a local error when it has none.
int refusalStatus(int code);

// Nothing will be sent for the write: `why` (when not empty) is told when its result is
// awaited, and refusalStatus(`code`) is its status.
void markRefused(PendingWrite& write, std::string why, int code);

// The record made for the write, ready to be appended; or, when none could be made, its
// refusal.
void takeRecord(PendingWrite& write, UndoRecord record);

// The writes taken on, each under a number of its own for the caller to await, in the order
// they were asked for.
class PendingWrites {
  public:
    // Takes the write on and gives its number. A write with neither a read outstanding nor
    // a stage of its own yet is ready.
    int admit(PendingWrite write);
    bool holds(int id) const { return writes_.contains(id); }
    PendingWrite& at(int id) { return writes_.at(id); }
    // Takes the write out of the list and hands it back.
    PendingWrite release(int id);
    // The numbers of the writes held, in the order they were asked for.
    const std::vector<int>& inOrder() const { return order_; }

  private:
    std::map<int, PendingWrite> writes_;
    std::vector<int> order_;
    int nextId_ = 1;
};

}  // namespace kestrel
