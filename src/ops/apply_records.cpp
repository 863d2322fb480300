#include "ops/apply_records.h"

#include <string>

#include "ops/record_order.h"
#include "session/ldap_client.h"

namespace kestrel {
namespace {

RequestOutcome send(LdapConnection& connection, const LdifRecord& record) {
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

// The loop calls the request step once per target, in order, so the step walks the records
// alongside. Under -window, a record that depends on an earlier one in a way the loop
// cannot see starts a batch of its own, sent once everything before it is answered.
void applyInOrder(RunContext& run, const std::vector<LdifRecord>& records) {
    const LoopVariant variant;
    std::size_t next = 0;
    const RequestStep step = [&](const std::string&) {
        return send(*run.session.handle, records[next++]);
    };
    const std::vector<std::size_t> starts = recordBatches(records, run.settings.window);
    for (std::size_t batch = 0; batch < starts.size(); ++batch) {
        const std::size_t end = batch + 1 < starts.size() ? starts[batch + 1] : records.size();
        DnList dns;
        for (std::size_t i = starts[batch]; i < end; ++i) {
            dns.push_back(records[i].dn);
        }
        if (processTargets(run, dns, variant, step) == LoopEnd::Stopped) {
            return;
        }
    }
}

}  // namespace

DnList recordDns(const std::vector<LdifRecord>& records) {
    DnList dns;
    dns.reserve(records.size());
    for (const LdifRecord& record : records) {
        dns.push_back(record.dn);
    }
    return dns;
}

void runApplyRecords(RunContext& run, const std::vector<LdifRecord>& records) {
    run.reporter.info("Applying the change records of " + fileName(run.settings) + "...\n");
    applyInOrder(run, records);
}

void runRevert(RunContext& run, const std::vector<LdifRecord>& journal) {
    run.reporter.info("Reverting with the undo journal " + fileName(run.settings) +
                      ", last record first...\n");
    applyInOrder(run, std::vector<LdifRecord>(journal.rbegin(), journal.rend()));
}

}  // namespace kestrel
