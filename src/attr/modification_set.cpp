#include "attr/modification_set.h"

#include <algorithm>
#include <utility>

#include "attr/binary_encoding.h"
#include "attr/binary_prefix.h"
#include "util/secret_memory.h"

namespace kestrel {

ModificationSet::~ModificationSet() {
    for (auto& [name, values] : removeValues) {
        std::for_each(values.begin(), values.end(), wipeText);
    }
    for (auto& [name, value] : replaceValues) {
        wipeText(value);
    }
    for (auto& [name, values] : addValues) {
        std::for_each(values.begin(), values.end(), wipeText);
    }
    for (auto* member : {&removeBinary, &addBinary}) {
        for (auto& [name, values] : *member) {
            std::for_each(values.begin(), values.end(), wipeBytes);
        }
    }
    for (auto& [name, value] : replaceBinary) {
        wipeBytes(value);
    }
}

void ModificationSet::clear(const std::string& attribute) {
    clears.push_back(attribute);
}

void ModificationSet::replaceText(const std::string& attribute, const std::string& value) {
    replaceValues[attribute] = value;
}

void ModificationSet::appendTexts(Reporter& reporter,
                                  std::map<std::string, std::vector<std::string>>& member,
                                  const std::string& attribute,
                                  const std::vector<std::string>& values) {
    // The entry is made even when every value is empty: consumers see the attribute.
    std::vector<std::string>& list = member[attribute];
    for (const std::string& value : values) {
        if (value.empty()) {
            continue;
        }
        list.push_back(value);
        reporter.trace("DEBUG: MV Val Attrib - [" + attribute + "] with [" + value + "]\n");
    }
}

int ModificationSet::replaceBinaryValue(Reporter& reporter, const std::string& prefixedAttribute,
                                        const std::string& valueText) {
    std::string attribute = prefixedAttribute;
    BinaryValue value;
    const int status = encodeBinaryValue(reporter, attribute, valueText, value);
    if (status == 0) {
        replaceBinary[attribute] = std::move(value);
    }
    return status;
}

int ModificationSet::appendBinaries(Reporter& reporter,
                                    std::map<std::string, std::vector<BinaryValue>>& member,
                                    const std::string& prefixedAttribute,
                                    const std::vector<std::string>& valueTexts) {
    const std::string name = unprefixedAttribute(prefixedAttribute);
    std::vector<BinaryValue>& list = member[name];
    int lastFailure = 0;
    for (const std::string& valueText : valueTexts) {
        if (valueText.empty()) {
            continue;
        }
        std::string attribute = prefixedAttribute;
        BinaryValue value;
        const int status = encodeBinaryValue(reporter, attribute, valueText, value);
        if (status != 0) {
            lastFailure = status;
            reporter.trace("DEBUG: Error in data format.\n");
            continue;
        }
        list.push_back(std::move(value));
        reporter.trace("DEBUG: MV Val Attrib - [" + name + "] with [" + valueText + "]\n");
    }
    return lastFailure;
}

}  // namespace kestrel
