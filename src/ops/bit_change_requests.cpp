#include "ops/bit_change_requests.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "directory/forwarding_connection.h"
#include "util/ascii_case.h"
#include "util/secret_memory.h"
#include "util/terminal_text.h"

namespace kestrel {

class BitChangeConnection final : public PassingConnection {
  public:
    BitChangeConnection(std::unique_ptr<LdapConnection> real, RunContext& run,
                        const std::map<std::string, BitChange>& changes)
        : PassingConnection(std::move(real)), run_(run), changes_(changes) {}

    int start(const std::string& dn, std::span<const Modification> fixed,
              const ServerControls& controls, int& messageId) {
        SearchRequest read;
        read.base = dn;
        for (const auto& [name, change] : changes_) {
            read.attributes.push_back(name);
        }
        Pending pending;
        pending.dn = dn;
        pending.fixed = fixed;
        pending.controls = controls;
        if (const int rc = inner().sendSearch(read, pending.readId); rc != 0) {
            return rc;
        }
        messageId = nextId_++;
        order_.push_back(messageId);
        pending_.emplace(messageId, std::move(pending));
        return 0;
    }

    int waitForResult(int messageId, int timeoutSeconds, std::string& diagnostic,
                      bool& sent) override {
        const auto found = pending_.find(messageId);
        if (found == pending_.end()) {
            return inner().waitForResult(messageId, timeoutSeconds, diagnostic, sent);
        }
        const std::int64_t start = run_.clock();
        flush(messageId, timeoutSeconds);
        const Pending pending = std::move(found->second);
        pending_.erase(found);
        order_.erase(std::find(order_.begin(), order_.end(), messageId));
        diagnostic.clear();
        sent = false;
        switch (pending.stage) {
            case Stage::Unchanged:
                run_.reporter.notice(pending.line);
                return 0;
            case Stage::Refused:
                if (!pending.line.empty()) {
                    run_.reporter.block(pending.line);
                }
                return pending.code;
            case Stage::Reading:  // flush decides the awaited one
            case Stage::Sent:
                break;
        }
        return inner().waitForResult(
            pending.writeId, secondsLeft(timeoutSeconds, run_.clock() - start), diagnostic, sent);
    }

  private:
    enum class Stage { Reading, Sent, Unchanged, Refused };

    struct Pending {
        std::string dn;
        std::span<const Modification> fixed;  // the run's list, which outlives the loop
        ServerControls controls;
        int readId = 0;
        Stage stage = Stage::Reading;
        int writeId = 0;
        int code = 0;
        std::string line;  // Unchanged and Refused: what the target's report says
    };

    // Before `awaited`'s result: its read is waited for, later reads already in are taken
    // too, and each target whose read is in gets its modify sent, in the order asked.
    void flush(int awaited, int timeoutSeconds) {
        for (const int id : order_) {
            Pending& pending = pending_.at(id);
            if (pending.stage != Stage::Reading) {
                continue;
            }
            std::vector<LdapEntry> entries;
            const int code = inner().searchResult(
                pending.readId, id == awaited ? timeoutSeconds : kPollAndKeep, entries);
            if (id != awaited && code == kLdapTimeout) {
                continue;  // not in yet
            }
            decide(pending, code, entries);
        }
    }

    void markRefused(Pending& pending, int code, const std::string& why) {
        pending.stage = Stage::Refused;
        pending.code = code;
        if (!why.empty()) {
            pending.line =
                "ERROR: " + terminalDn(pending.dn) + ": " + why + "; nothing was sent.\n";
        }
    }

    void decide(Pending& pending, int code, const std::vector<LdapEntry>& entries) {
        if (code != 0) {
            markRefused(pending, code, "");  // the target's error line names the read's code
            return;
        }
        if (entries.empty()) {
            markRefused(pending, kLdapNoResultsReturned, "the server answered no entry");
            return;
        }
        const LdapEntry& entry = entries.front();
        for (const LdapAttribute& attribute : entry.attributes) {
            if (!changes_.contains(asciiLower(attribute.name))) {
                // Taken for absent, the attribute asked for would get a second value.
                markRefused(pending, kLdapLocalError,
                            "the server answered " + terminalText(attribute.name) +
                                ", which is none of the attributes asked for");
                return;
            }
        }
        std::vector<Modification> bits;
        std::string unchanged;
        for (const auto& [name, change] : changes_) {
            const std::vector<std::string>* held = entry.values(name);
            const std::vector<std::string> values = held ? *held : std::vector<std::string>{};
            const BitOutcome outcome = applyBitChange(values, change);
            if (!outcome.value) {
                markRefused(pending, kLdapLocalError, terminalText(name) + ": " + outcome.why);
                return;
            }
            if (!outcome.changed) {
                unchanged += (unchanged.empty() ? "" : ", ") + name + " " + *outcome.value;
                continue;
            }
            if (!values.empty()) {
                bits.push_back({ModOperation::Delete, name, {values.front()}});
            }
            bits.push_back({ModOperation::Add, name, {*outcome.value}});
        }
        if (bits.empty() && pending.fixed.empty()) {
            pending.stage = Stage::Unchanged;
            pending.line = "  Already as asked (" + terminalText(unchanged) + "); nothing sent.";
            return;
        }
        send(pending, std::move(bits));
    }

    void send(Pending& pending, std::vector<Modification> bits) {
        std::vector<Modification> request(pending.fixed.begin(), pending.fixed.end());
        request.insert(request.end(), bits.begin(), bits.end());
        const int rc = inner().sendModifications(ModificationRequest::Modify, pending.dn, request,
                                                 pending.controls, pending.writeId);
        // The run's other values may hold a password (unicodePwd).
        for (Modification& modification : request) {
            std::for_each(modification.values.begin(), modification.values.end(), wipeText);
        }
        if (rc != 0) {
            markRefused(pending, rc, "");
            return;
        }
        pending.stage = Stage::Sent;
    }

    RunContext& run_;
    const std::map<std::string, BitChange>& changes_;
    std::map<int, Pending> pending_;
    std::vector<int> order_;  // the pending targets' numbers, in the order asked for
    int nextId_ = 1;
};

BitChangeRequests::BitChangeRequests(RunContext& run,
                                     const std::map<std::string, BitChange>& changes)
    : session_(run.session) {
    auto connection =
        std::make_unique<BitChangeConnection>(std::move(run.session.handle), run, changes);
    connection_ = connection.get();
    session_.handle = std::move(connection);
}

BitChangeRequests::~BitChangeRequests() {
    session_.handle = connection_->releaseInner();
}

int BitChangeRequests::send(const std::string& dn, std::span<const Modification> fixed,
                            const ServerControls& controls, int& messageId) {
    return connection_->start(dn, fixed, controls, messageId);
}

}  // namespace kestrel
