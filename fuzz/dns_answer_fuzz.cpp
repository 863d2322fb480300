// Reading the SRV records of a DNS answer, which comes from the network. The whole input is
// the message. No more records may come back than the header counts answers, and each
// target must be a host name whose every label is written in the message (length byte,
// then the label): a name pieced together from bytes outside the message, or from a
// record's length byte read as a label, fails.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "locator/dns_srv.h"
#include "locator/server_address.h"

using kestrel::fuzz::require;

namespace {

bool labelsWrittenIn(const std::string& target, std::span<const std::uint8_t> message) {
    std::size_t start = 0;
    while (start < target.size()) {
        const std::size_t end = std::min(target.find('.', start), target.size());
        std::vector<std::uint8_t> label{static_cast<std::uint8_t>(end - start)};
        label.insert(label.end(), target.begin() + static_cast<std::ptrdiff_t>(start),
                     target.begin() + static_cast<std::ptrdiff_t>(end));
        if (std::search(message.begin(), message.end(), label.begin(), label.end()) ==
            message.end()) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> message(data, size);
    const std::vector<kestrel::SrvRecord> records = kestrel::srvRecordsOfAnswer(message);
    if (records.empty()) {
        return 0;
    }
    // The header's answer count: bytes 6 and 7, most significant first.
    require(size >= 12, "records come only from a message with a whole header");
    require(records.size() <= ((static_cast<std::size_t>(data[6]) << 8) | data[7]),
            "no more records than the header counts answers");
    for (const kestrel::SrvRecord& record : records) {
        require(kestrel::isHostName(record.target), "every target is a host name");
        require(labelsWrittenIn(record.target, message),
                "every label of a target is written in the message");
    }
    return 0;
}
