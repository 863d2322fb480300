// Where -f and -revert take their records from: a part at a time, so that a file of any size
// is never held whole. Each part goes through the loop once everything before it is
// answered, so the ordering rules (ops/record_order) see one part, never across two.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "ldif/ldif_reader.h"

namespace kestrel {

class RecordSource {
  public:
    virtual ~RecordSource() = default;
    virtual std::size_t parts() const = 0;
    // The records of part `index` in the file's order, or false with why they could not be
    // read again.
    virtual bool read(std::size_t index, std::vector<LdifRecord>& records, std::string& why) = 0;
};

// Records already read (standard input, tests): one part.
class RecordsInMemory final : public RecordSource {
  public:
    explicit RecordsInMemory(std::vector<LdifRecord> records) : records_(std::move(records)) {}
    std::size_t parts() const override { return records_.empty() ? 0 : 1; }
    bool read(std::size_t, std::vector<LdifRecord>& records, std::string&) override {
        records = records_;
        return true;
    }

  private:
    std::vector<LdifRecord> records_;
};

}  // namespace kestrel
