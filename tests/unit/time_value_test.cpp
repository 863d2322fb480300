#include "attr/time_value.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrel {
namespace {

// Each text's tick count, or the start of why it is refused.
TEST(TickCountOf, FormsAndRefusals) {
    struct Row {
        const char* text;
        const char* ticks;  // nullptr: refused
        const char* why = "";
    };
    const std::vector<Row> rows{
        {"2027-01-31", "134458272000000000"},
        {"2027-01-31t18:00:00+02:00", "134458848000000000"},
        {"2027-01-31 16:00:00Z", "134458848000000000"},
        {"2027-01-31T16:00:00.5z", "134458848005000000"},
        {"2024-02-29T12:30-0530", "133537032000000000"},
        {"2024-02-29T12:30-05", "133537014000000000"},
        {"1601-01-01", "0"},
        {"9999-12-31T23:59:59.9999999Z", "2650467743999999999"},
        {"NEVER", "0"},
        {"1601-01-01T00:00+00:01", nullptr, "before 1601"},
        {"2027-13-01", nullptr, "no such day"},
        {"2027-02-30", nullptr, "no such day"},
        {"2027-02-29", nullptr, "no such day"},
        {"2027-01-31T24:00", nullptr, "not an ISO 8601"},
        {"2027-01-31T18:00:00.12345678", nullptr, "not an ISO 8601"},
        {"2027-01-31T18:00+02:", nullptr, "not an ISO 8601"},
        {"2027-1-31", nullptr, "not an ISO 8601"},
        {"", nullptr, "not an ISO 8601"},
    };
    for (const Row& row : rows) {
        std::string why;
        const auto ticks = tickCountOf(row.text, why);
        EXPECT_EQ(ticks.value_or("refused"), row.ticks ? row.ticks : "refused") << row.text;
        EXPECT_TRUE(why.starts_with(row.why)) << row.text << ": " << why;
    }
}

}  // namespace
}  // namespace kestrel
