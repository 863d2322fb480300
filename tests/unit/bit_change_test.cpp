#include "attr/bit_change.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "attr/bit_mask.h"

namespace kestrel {
namespace {

constexpr const char* kRefused = "refused";

// The bits a setbits/clearbits value names, or the start of why it is refused.
TEST(ParseBitMask, NumbersAndFlagNames) {
    struct Row {
        const char* attribute;
        std::vector<std::string> pieces;
        std::uint32_t mask;
        const char* why = "";
    };
    const std::vector<Row> rows{
        {"useraccountcontrol", {"ACCOUNTDISABLE"}, 0x2},
        {"useraccountcontrol", {"accountdisable", " DONT_EXPIRE_PASSWORD ", ""}, 0x10002},
        {"useraccountcontrol", {"UF_LOCKOUT", "ads_uf_partial_secrets_account"}, 0x4000010},
        {"grouptype", {"0x80000000", "2"}, 0x80000002},
        {"grouptype", {"-2147483648"}, 0x80000000},
        {"searchflags", {"4294967295"}, 0xFFFFFFFF},
        {"searchflags", {"4294967296"}, 0, "[4294967296] does not fit"},
        {"searchflags", {"-2147483649"}, 0, "[-2147483649] does not fit"},
        {"searchflags", {"+4"}, 0, "[+4] is neither"},
        {"useraccountcontrol", {"DISABLED"}, 0, "[DISABLED] is neither"},
        {"searchflags", {"0"}, 0, "it names no bit"},
    };
    for (const Row& row : rows) {
        std::string why;
        const auto mask = parseBitMask(row.attribute, row.pieces, why);
        EXPECT_EQ(mask.value_or(0), row.mask) << row.pieces.front();
        EXPECT_EQ(mask.has_value(), *row.why == '\0') << row.pieces.front();
        EXPECT_TRUE(why.starts_with(row.why)) << row.pieces.front() << ": " << why;
    }
}

// What a value held becomes, in the directory's own text form.
TEST(ApplyBitChange, KeepsTheOtherBitsAndTheTextForm) {
    struct Row {
        std::vector<std::string> held;
        BitChange change;
        const char* value;  // kRefused: no value
        bool changed;
    };
    const std::vector<Row> rows{
        {{"512"}, {0x2, 0}, "514", true},
        {{"514"}, {0x2, 0}, "514", false},
        {{"66050"}, {0, 0x10002}, "512", true},
        {{"2"}, {0x80000000, 0}, "-2147483646", true},
        {{"-2147483646"}, {0, 0x80000000}, "2", true},
        {{"4294967295"}, {0, 0x1}, "4294967294", true},
        {{}, {0x4, 0}, "4", true},
        {{}, {0, 0x4}, "0", false},
        {{"abc"}, {0x2, 0}, kRefused, false},
        {{"1", "2"}, {0x2, 0}, kRefused, false},
    };
    for (const Row& row : rows) {
        const BitOutcome outcome = applyBitChange(row.held, row.change);
        EXPECT_EQ(outcome.value.value_or(kRefused), row.value);
        EXPECT_EQ(outcome.changed, row.changed) << row.value;
        EXPECT_EQ(outcome.why.empty(), outcome.value.has_value()) << row.value;
    }
}

}  // namespace
}  // namespace kestrel
