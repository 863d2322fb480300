// A record file (-f -), read as the run reads it before connecting. The first input line
// holds the settings: "a" reads an entry without a changetype as an add (-add).
//
// Whatever the text, the reading ends; a refusal is one ERROR line with the file's name and
// no raw control character; taken records each name an object (no empty DN), every
// attribute they write has a name, and the summary counts every record the parts hold.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/record_file.h"
#include "fuzz_input.h"
#include "util/reporter.h"

using kestrel::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t firstEnd = all.find('\n');
    const std::string_view flags = all.substr(0, firstEnd);
    const std::string_view text =
        firstEnd == std::string_view::npos ? "" : all.substr(firstEnd + 1);

    kestrel::RunSettings settings;
    settings.mode = kestrel::RunMode::ApplyRecords;
    settings.recordFile = "-";
    settings.entriesAreAdds = flags.find('a') != std::string_view::npos;

    std::ostringstream out;
    std::ostringstream err;
    kestrel::Reporter reporter(out, err);
    std::istringstream input{std::string(text)};
    std::unique_ptr<kestrel::RecordSource> source;
    kestrel::RecordSummary summary;
    const bool taken = kestrel::loadRecordFile(reporter, settings, input, source, summary);

    require(err.str().empty(), "reading a record file writes no error stream");
    if (!taken) {
        const std::string refusal = out.str();
        require(refusal.rfind("ERROR: standard input, line ", 0) == 0, "a refusal names the file");
        require(refusal.find('\n') == refusal.size() - 1, "a refusal is one line");
        for (const char c : refusal.substr(0, refusal.size() - 1)) {
            const auto byte = static_cast<unsigned char>(c);
            require(byte >= 0x20 && byte != 0x7f, "a refusal holds no control character");
        }
        require(!source, "a refused file gives no records");
        return 0;
    }
    require(out.str().empty(), "a file taken is taken in silence");
    require(source != nullptr, "a file taken gives its records");
    std::vector<kestrel::LdifRecord> records;
    for (std::size_t part = 0; part < source->parts(); ++part) {
        std::vector<kestrel::LdifRecord> some;
        std::string why;
        require(source->read(part, some, why), "a part taken reads again");
        records.insert(records.end(), some.begin(), some.end());
    }
    require(records.size() == summary.count, "the summary counts every record");
    for (const kestrel::LdifRecord& record : records) {
        require(!record.dn.empty(), "a taken record names an object");
        for (const kestrel::Modification& modification : record.modifications) {
            require(!modification.attribute.empty(), "every attribute written has a name");
        }
        if (record.kind == kestrel::LdifRecord::Kind::ModDn) {
            require(!record.newRdn.empty(), "a rename has a new RDN");
        }
    }
    return 0;
}
