#include "undo/pending_writes.h"

#include <algorithm>
#include <utility>

#include "util/secret_memory.h"

namespace kestrel {

PendingWrite::PendingWrite(WriteKind kindOfWrite, std::string target, ServerControls sent)
    : kind(kindOfWrite), dn(std::move(target)), controls(std::move(sent)) {}

PendingWrite::~PendingWrite() {
    for (Modification& modification : modifications) {
        std::for_each(modification.values.begin(), modification.values.end(), wipeText);
    }
}

std::string PendingWrite::what() const {
    switch (kind) {
        case WriteKind::Delete:
            return "delete";
        case WriteKind::Rename:
            return "rename";
        case WriteKind::Modify:
            return "modify";
        case WriteKind::Add:
            return "add";
    }
    return "write";
}

int refusalStatus(int code) {
    return code != 0 ? code : kLdapLocalError;
}

void markRefused(PendingWrite& write, std::string why, int code) {
    write.stage = RecordStage::Refused;
    write.why = std::move(why);
    write.code = refusalStatus(code);
}

void takeRecord(PendingWrite& write, UndoRecord record) {
    if (!record.why.empty()) {
        markRefused(write, std::move(record.why), record.code);
        return;
    }
    write.stage = RecordStage::Ready;
    write.record = std::move(record.text);
    for (const LdapEntry& entry : record.entries) {
        std::string ignored;  // in memory: cannot fail
        write.images.add(entry, ignored);
    }
}

int PendingWrites::admit(PendingWrite write) {
    if (write.stage == RecordStage::Reading && write.readId == 0) {
        write.stage = RecordStage::Ready;
    }
    const int id = nextId_++;
    order_.push_back(id);
    writes_.emplace(id, std::move(write));
    return id;
}

PendingWrite PendingWrites::release(int id) {
    const auto found = writes_.find(id);
    PendingWrite write = std::move(found->second);
    writes_.erase(found);
    order_.erase(std::find(order_.begin(), order_.end(), id));
    return write;
}

}  // namespace kestrel
