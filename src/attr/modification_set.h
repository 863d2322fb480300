// Every change the attribute-actions ask for, collected once and applied to every target.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "attr/binary_value.h"
#include "attr/bit_change.h"
#include "util/reporter.h"

namespace kestrel {

// Maps are keyed by lower-case attribute name; std::string compares as unsigned bytes,
// so iteration is in byte order (a name that is a prefix of another comes first).
struct ModificationSet {
    std::vector<std::string> clears;  // command-line order, duplicates kept
    std::map<std::string, std::vector<std::string>> removeValues;
    std::map<std::string, std::string> replaceValues;
    std::map<std::string, std::vector<std::string>> addValues;
    std::map<std::string, std::vector<BinaryValue>> removeBinary;
    std::map<std::string, BinaryValue> replaceBinary;
    std::map<std::string, std::vector<BinaryValue>> addBinary;
    // setbits and clearbits: per target the value is read and rewritten with these bits.
    std::map<std::string, BitChange> bitChanges;

    ModificationSet() = default;
    ModificationSet(const ModificationSet&) = default;
    ModificationSet& operator=(const ModificationSet&) = default;
    // Moved, the values stay where they are: nothing is left behind unwiped.
    ModificationSet(ModificationSet&&) = default;
    ModificationSet& operator=(ModificationSet&&) = default;
    // The values may be passwords: they are zeroed, not just freed, when the set goes.
    ~ModificationSet();

    void clear(const std::string& attribute);
    void replaceText(const std::string& attribute, const std::string& value);

    // Empty values are skipped; an entry is made even when no value is left.
    void appendTexts(Reporter& reporter, std::map<std::string, std::vector<std::string>>& member,
                     const std::string& attribute, const std::vector<std::string>& values);

    // `prefixedAttribute` still carries its sid##/guid##/bin## prefix. Returns the status
    // of the last value that failed to encode, or 0.
    int replaceBinaryValue(Reporter& reporter, const std::string& prefixedAttribute,
                           const std::string& valueText);
    int appendBinaries(Reporter& reporter, std::map<std::string, std::vector<BinaryValue>>& member,
                       const std::string& prefixedAttribute,
                       const std::vector<std::string>& valueTexts);
};

}  // namespace kestrel
