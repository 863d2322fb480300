// DNS SRV records (RFC 2782): the lookup through the system resolver, and the order in
// which their targets are tried.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kestrel {

struct SrvRecord {
    int priority = 0;
    int weight = 0;
    int port = 0;
    std::string target;  // a host name, without the final dot
};

// The SRV records of `name`, in the order of the answer; none when the name has none or the
// lookup fails. Uses the resolver's own configuration (resolv.conf); a time limit above 0
// caps the wait for each answer at that many seconds.
std::vector<SrvRecord> lookupSrv(const std::string& name, int timeLimitSeconds);

// The SRV records of a DNS answer as the resolver returns it, in the answer's order. Each
// field is read within its own record; a record that is not IN SRV, or whose target is no
// host name ending within it, is passed over. None when the message does not parse.
std::vector<SrvRecord> srvRecordsOfAnswer(std::span<const unsigned char> message);

// RFC 2782's order: lower priority first; within one priority, a random order in which each
// record comes next with a chance proportional to its weight (records of weight 0 rarely
// first). Records whose target is "." (no service there) are dropped. `random(n)` gives a
// number from 0 to n.
std::vector<SrvRecord> orderSrvRecords(std::vector<SrvRecord> records,
                                       const std::function<unsigned(unsigned)>& random);

}  // namespace kestrel
