// Parses the attribute-action arguments ("description::Hello", "drink:++:a;b", ...).
#pragma once

#include <string>
#include <vector>

#include "attr/modification_set.h"
#include "util/reporter.h"

namespace kestrel {

struct ActionSyntax {
    std::string attrDelimiter = ":";
    std::string mvDelimiter = ";";
    bool addMode = false;  // -add: blank operations add, clears and removals are dropped
};

struct ActionParseOutcome {
    bool wellFormed = true;     // no attribute-action had an error
    bool binaryFailed = false;  // some binary value could not be encoded
    int binaryStatus = 0;       // status of the last failed encoding
};

// Parses every argument in order into `set`, writing errors, warnings and debug lines.
// Every argument is examined even after an error.
ActionParseOutcome parseAttributeActions(Reporter& reporter,
                                         const std::vector<std::string>& arguments,
                                         const ActionSyntax& syntax, ModificationSet& set);

}  // namespace kestrel
