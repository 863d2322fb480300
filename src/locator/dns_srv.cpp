#include "locator/dns_srv.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <map>

#include "locator/server_address.h"

namespace kestrel {
namespace {

// Closes the resolver state on every way out.
class ResolverState {
  public:
    ResolverState() { ok_ = res_ninit(&state_) == 0; }
    ~ResolverState() {
        if (ok_) {
            res_nclose(&state_);
        }
    }
    ResolverState(const ResolverState&) = delete;
    ResolverState& operator=(const ResolverState&) = delete;

    bool ok() const { return ok_; }
    res_state get() { return &state_; }

  private:
    struct __res_state state_ {};
    bool ok_ = false;
};

}  // namespace

std::vector<SrvRecord> lookupSrv(const std::string& name, int timeLimitSeconds) {
    ResolverState resolver;
    if (!resolver.ok()) {
        return {};
    }
    if (timeLimitSeconds > 0) {
        resolver.get()->retrans = std::min(resolver.get()->retrans, timeLimitSeconds);
    }
    std::vector<unsigned char> answer(NS_MAXMSG);
    const int length = res_nquery(resolver.get(), name.c_str(), ns_c_in, ns_t_srv, answer.data(),
                                  static_cast<int>(answer.size()));
    if (length <= 0) {
        return {};
    }
    // A resolver may return the length the answer would have had, beyond the buffer.
    return srvRecordsOfAnswer(
        std::span(answer).first(std::min(static_cast<std::size_t>(length), answer.size())));
}

std::vector<SrvRecord> srvRecordsOfAnswer(std::span<const unsigned char> message) {
    ns_msg parsed{};
    if (message.size() > NS_MAXMSG ||
        ns_initparse(message.data(), static_cast<int>(message.size()), &parsed) != 0) {
        return {};
    }
    std::vector<SrvRecord> records;
    const int count = ns_msg_count(parsed, ns_s_an);
    for (int i = 0; i < count; ++i) {
        ns_rr record{};
        if (ns_parserr(&parsed, ns_s_an, i, &record) != 0) {
            break;
        }
        // Priority, weight and port (16 bits each), then the target's name.
        constexpr int kFixedPart = 6;
        const int length = ns_rr_rdlen(record);
        if (ns_rr_type(record) != ns_t_srv || ns_rr_class(record) != ns_c_in ||
            length < kFixedPart) {
            continue;
        }
        const unsigned char* data = ns_rr_rdata(record);
        // The name may point back anywhere in the message, but its own bytes must end
        // within the record: past it lies the next record, not this one's target.
        char target[NS_MAXDNAME];
        const int nameLength = dn_expand(ns_msg_base(parsed), ns_msg_end(parsed), data + kFixedPart,
                                         target, sizeof target);
        if (nameLength < 0 || nameLength > length - kFixedPart || !isHostName(target)) {
            continue;
        }
        records.push_back(SrvRecord{static_cast<int>(ns_get16(data)),
                                    static_cast<int>(ns_get16(data + 2)),
                                    static_cast<int>(ns_get16(data + 4)), target});
    }
    return records;
}

std::vector<SrvRecord> orderSrvRecords(std::vector<SrvRecord> records,
                                       const std::function<unsigned(unsigned)>& random) {
    std::map<int, std::vector<SrvRecord>> byPriority;
    for (SrvRecord& record : records) {
        if (record.target.empty() || record.target == ".") {
            continue;
        }
        byPriority[record.priority].push_back(std::move(record));
    }
    std::vector<SrvRecord> ordered;
    for (auto& [priority, group] : byPriority) {
        // Weight 0 first, then a running sum: a draw from 0 to the total picks the first
        // record whose running sum reaches it.
        std::stable_partition(group.begin(), group.end(),
                              [](const SrvRecord& record) { return record.weight == 0; });
        while (!group.empty()) {
            unsigned total = 0;
            for (const SrvRecord& record : group) {
                total += static_cast<unsigned>(record.weight);
            }
            const unsigned draw = random(total);
            unsigned running = 0;
            auto chosen = group.begin();
            for (auto it = group.begin(); it != group.end(); ++it) {
                running += static_cast<unsigned>(it->weight);
                if (running >= draw) {
                    chosen = it;
                    break;
                }
            }
            ordered.push_back(std::move(*chosen));
            group.erase(chosen);
        }
    }
    return ordered;
}

}  // namespace kestrel
