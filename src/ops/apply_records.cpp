#include "ops/apply_records.h"

#include <algorithm>
#include <span>
#include <string>

#include "directory/ldap_client.h"
#include "ops/record_order.h"

namespace kestrel {
namespace {

RequestOutcome sendRecord(LdapConnection& connection, const LdifRecord& record) {
    RequestOutcome outcome;
    switch (record.kind) {
        case LdifRecord::Kind::Add:
        case LdifRecord::Kind::Modify:
            outcome.sendCode = connection.sendModifications(
                record.kind == LdifRecord::Kind::Add ? ModificationRequest::Add
                                                     : ModificationRequest::Modify,
                record.dn, record.modifications, record.controls, outcome.messageId);
            break;
        case LdifRecord::Kind::Delete:
            outcome.sendCode = connection.sendDelete(record.dn, record.controls, outcome.messageId);
            break;
        case LdifRecord::Kind::ModDn:
            outcome.sendCode =
                connection.sendRename(record.dn, record.newRdn, record.newSuperior,
                                      record.deleteOldRdn, record.controls, outcome.messageId);
            break;
    }
    return outcome;
}

std::string fileName(const RunSettings& settings) {
    return settings.mode == RunMode::ApplyRecords && settings.recordFile == "-"
               ? "standard input"
               : settings.recordFile;
}

// Under -window, a record that depends on an earlier one in a way the loop cannot see
// starts a batch of its own, sent once everything before it is answered.
LoopEnd applyInOrder(RunContext& run, const std::vector<LdifRecord>& records) {
    const LoopVariant variant;
    const std::vector<std::size_t> starts = recordBatches(records, run.settings.window);
    for (std::size_t batch = 0; batch < starts.size(); ++batch) {
        const std::size_t end = batch + 1 < starts.size() ? starts[batch + 1] : records.size();
        const std::span<const LdifRecord> batchRecords =
            std::span(records).subspan(starts[batch], end - starts[batch]);
        DnList dns;
        for (const LdifRecord& record : batchRecords) {
            dns.push_back(record.dn);
        }
        const IndexedRequestStep applyRecord = [&](std::size_t index) {
            return sendRecord(*run.session.handle, batchRecords[index]);
        };
        if (processTargets(run, dns, variant, applyRecord) == LoopEnd::Stopped) {
            return LoopEnd::Stopped;
        }
    }
    return LoopEnd::Completed;
}

// Each part read when its turn comes; a part that cannot be read again ends the run.
void applyParts(RunContext& run, RecordSource& source, bool lastFirst) {
    const std::size_t parts = source.parts();
    std::vector<LdifRecord> records;
    for (std::size_t i = 0; i < parts; ++i) {
        std::string why;
        if (!source.read(lastFirst ? parts - 1 - i : i, records, why)) {
            run.reporter.notice("ERROR: " + why + "; nothing more was sent.\n");
            run.lastError = kLdapLocalError;
            return;
        }
        if (lastFirst) {
            std::reverse(records.begin(), records.end());
        }
        if (applyInOrder(run, records) == LoopEnd::Stopped) {
            return;
        }
    }
}

}  // namespace

void runApplyRecords(RunContext& run, RecordSource& records) {
    run.reporter.info("Applying the change records of " + fileName(run.settings) + "...\n");
    applyParts(run, records, false);
}

void runApplyRecords(RunContext& run, const std::vector<LdifRecord>& records) {
    RecordsInMemory source(records);
    runApplyRecords(run, source);
}

void runRevert(RunContext& run, RecordSource& journal) {
    run.reporter.info("Reverting with the undo journal " + fileName(run.settings) +
                      ", last record first...\n");
    applyParts(run, journal, true);
}

void runRevert(RunContext& run, const std::vector<LdifRecord>& journal) {
    RecordsInMemory source(journal);
    runRevert(run, source);
}

}  // namespace kestrel
