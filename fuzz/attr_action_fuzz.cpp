// The attribute-action language end to end: tokenizer, bounded split, the parser into a
// ModificationSet (binary encodings included), the checks made before connecting, and
// the modification list built from the set for a modify and for an add.
//
// Input lines: the first holds flags ("a" add mode, "d" debug), the second the attribute
// delimiter, the third the multi-value delimiter (each may be empty or long), and every
// further line is one attribute-action argument.
#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "attr/attr_action_parser.h"
#include "attr/modification_set.h"
#include "attr/tokenizer.h"
#include "fuzz_input.h"
#include "ops/modification_list.h"
#include "util/reporter.h"

using kestrel::fuzz::require;

namespace {

bool hasUpperCase(const std::string& text) {
    for (const char c : text) {
        if (c >= 'A' && c <= 'Z') {
            return true;
        }
    }
    return false;
}

template <typename Map>
void requireFoldedKeys(const Map& map) {
    for (const auto& entry : map) {
        require(!hasUpperCase(entry.first), "attribute names are folded to lower case");
    }
}

// Reads every byte of the list, so that the sanitizers see any that is not its own.
std::size_t walk(const kestrel::ModificationList& list) {
    std::size_t bytes = 0;
    for (const kestrel::Modification& mod : list.modifications()) {
        bytes += mod.attribute.size();
        for (const std::string& value : mod.values) {
            for (const char c : value) {
                bytes += static_cast<unsigned char>(c);
            }
        }
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Password values are converted from the caller's encoding; UTF-8 is the usual one.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines = kestrel::fuzz::splitLines(data, size);
    lines.resize(std::max<std::size_t>(lines.size(), 3));
    const std::string& flags = lines[0];
    kestrel::ActionSyntax syntax;
    syntax.addMode = flags.find('a') != std::string::npos;
    syntax.attrDelimiter = lines[1];
    syntax.mvDelimiter = lines[2];
    const std::vector<std::string> arguments(lines.begin() + 3, lines.end());

    // The tokenizer's own promises, for every argument and both delimiters.
    for (const std::string& argument : arguments) {
        for (const std::string* delimiter : {&syntax.attrDelimiter, &syntax.mvDelimiter}) {
            const std::vector<std::string> pieces = kestrel::tokenize(argument, *delimiter);
            if (argument.empty()) {
                require(pieces.empty(), "an empty text has no pieces");
                continue;
            }
            if (delimiter->empty()) {
                require(pieces.size() == argument.size(), "one piece per character");
                continue;
            }
            std::string joined;
            for (std::size_t i = 0; i < pieces.size(); ++i) {
                joined += pieces[i];
                if (i + 1 < pieces.size()) {
                    joined += *delimiter;
                }
            }
            // Joining the pieces gives the text back, less a dropped trailing delimiter.
            require(joined == argument || joined + *delimiter == argument,
                    "the pieces join back into the text");
            const kestrel::BoundedSplit split = kestrel::boundedSplit(argument, *delimiter);
            require(split.pieceCount == static_cast<int>(std::min<std::size_t>(pieces.size(), 3)),
                    "the bounded split counts at most three pieces");
        }
    }

    std::ostringstream out;
    std::ostringstream err;
    kestrel::Reporter reporter(out, err);
    reporter.debug = flags.find('d') != std::string::npos;
    kestrel::ModificationSet set;
    const kestrel::ActionParseOutcome outcome =
        kestrel::parseAttributeActions(reporter, arguments, syntax, set);
    require(err.str().empty(), "the parser writes to standard output only");
    require(outcome.binaryFailed == (outcome.binaryStatus != 0), "a failed encoding has a status");
    for (const std::string& name : set.clears) {
        require(!hasUpperCase(name), "attribute names are folded to lower case");
    }
    requireFoldedKeys(set.removeValues);
    requireFoldedKeys(set.replaceValues);
    requireFoldedKeys(set.addValues);
    requireFoldedKeys(set.removeBinary);
    requireFoldedKeys(set.replaceBinary);
    requireFoldedKeys(set.addBinary);
    if (syntax.addMode) {
        require(set.clears.empty() && set.removeValues.empty() && set.removeBinary.empty() &&
                    set.replaceValues.empty() && set.replaceBinary.empty(),
                "add mode only adds");
    }
    if (!outcome.wellFormed || outcome.binaryFailed) {
        return 0;  // the driver ends the run here
    }

    const bool goesOn = kestrel::checkModificationSet(reporter, set, syntax.addMode);
    const std::size_t expected = kestrel::countModifications(set, syntax.addMode);
    if (goesOn) {
        require(expected <= kestrel::kMaxModifications, "the check keeps the request size");
    }
    const kestrel::ModificationList list =
        syntax.addMode ? kestrel::ModificationList::forAdd(reporter, set)
                       : kestrel::ModificationList::forModify(reporter, set);
    require(list.size() == expected, "the count made before connecting is what is sent");
    walk(list);
    return 0;
}
