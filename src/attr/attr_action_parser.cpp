#include "attr/attr_action_parser.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "attr/binary_prefix.h"
#include "attr/bit_mask.h"
#include "attr/password_attribute.h"
#include "attr/time_value.h"
#include "attr/tokenizer.h"
#include "util/ascii_case.h"
#include "util/terminal_text.h"

namespace kestrel {
namespace {

// One attribute-action argument, split and folded.
struct AttrAction {
    std::string_view source;  // the argument as written, for messages
    int pieceCount = 0;
    std::string attribute;  // lower case, may still carry a binary or TIME## prefix
    std::string operation;  // lower case, empty when absent
    std::string valueText;  // case kept; keeps any further delimiters
    bool binary = false;    // the attribute carries the "##" marker of a binary encoding
    bool time = false;      // TIME##: each value is a date, sent as a tick count
};

AttrAction splitAction(const std::string& argument, const ActionSyntax& syntax) {
    BoundedSplit split = boundedSplit(argument, syntax.attrDelimiter);
    AttrAction action;
    action.source = argument;
    action.pieceCount = split.pieceCount;
    action.attribute = asciiLower(split.pieces[0]);
    action.operation = asciiLower(split.pieces[1]);
    action.valueText = std::move(split.pieces[2]);
    std::string rest = action.attribute;
    action.time = removeTimePrefix(rest);
    action.binary = rest.find("##") != std::string::npos;
    return action;
}

std::string actionDebugText(const AttrAction& action) {
    return "DEBUG: icnt=" + std::to_string(action.pieceCount) + "\n" + "DEBUG: arg=[" +
           std::string(action.source) + "]\n" + "DEBUG: attrib=[" + action.attribute + "]\n" +
           "DEBUG: op=[" + action.operation + "]\n" + "DEBUG: stmp2=[" + action.valueText + "]\n" +
           "\n";
}

// What the error lines show of an argument. A password is never printed outside the
// debug lines, and a mistyped password action ("#setpwd#:Secret-1", a delimiter short)
// holds it anywhere after the attribute, or within it: of those only a clean attribute
// name is shown.
std::string shownSource(const AttrAction& action, const ActionSyntax& syntax) {
    if (!mentionsPasswordAttribute(action.source)) {
        return std::string(action.source);
    }
    if (!carriesPassword(action.attribute)) {
        return std::string(kHiddenText);
    }
    if (action.pieceCount < 2) {
        return std::string(action.source);  // the name alone, perhaps with a delimiter
    }
    return std::string(action.source.substr(0, action.attribute.size())) + syntax.attrDelimiter +
           std::string(kHiddenText);
}

std::string shownOperation(const AttrAction& action) {
    return mentionsPasswordAttribute(action.source) ? std::string(kHiddenText) : action.operation;
}

void writeIssue(Reporter& reporter, const AttrAction& action, const ActionSyntax& syntax) {
    reporter.notice("ERROR: Issue with attrib parameter - [" + shownSource(action, syntax) + "]\n");
}

void writeUnsupported(Reporter& reporter, const AttrAction& action, const ActionSyntax& syntax) {
    writeIssue(reporter, action, syntax);
    reporter.notice("ERROR: Unsupported Op or format - [" + shownOperation(action) + "]\n");
}

void writeAddModeWarning(Reporter& reporter) {
    reporter.warning("Delete/Clear option illogical for add, ignoring.\n");
}

// Applies one well-split action; returns false when it is malformed.
class ActionApplier {
  public:
    ActionApplier(Reporter& reporter, const ActionSyntax& syntax, ModificationSet& set,
                  ActionParseOutcome& outcome)
        : reporter_(reporter), syntax_(syntax), set_(set), outcome_(outcome) {}

    bool apply(const AttrAction& action) {
        if (action.pieceCount < 2) {
            writeIssue(reporter_, action, syntax_);
            reporter_.notice("ERROR: Missing operation.\n\n");
            return false;
        }
        if (action.time && action.binary) {
            return reportRefusal(action,
                                 "TIME## gives a text value; it cannot stand with SID##, "
                                 "GUID## or BIN##.");
        }
        if (action.pieceCount == 2) {
            return applyClear(action);
        }
        const std::string& op = action.operation;
        if (op == "setbits" || op == "clearbits") {
            return applyBits(action);
        }
        if (op.empty()) {
            return applyBlank(action);
        }
        if (op == "+" || op == "++") {
            reporter_.trace("DEBUG: MV Add\n");
            const std::optional<std::vector<std::string>> values = valuesOf(action);
            if (values) {
                add(action, *values);
            }
            return values.has_value();
        }
        if (op == "-" || op == "--") {
            reporter_.trace("DEBUG: MV Delete\n");
            if (syntax_.addMode) {
                writeAddModeWarning(reporter_);
                return true;
            }
            const std::optional<std::vector<std::string>> values = valuesOf(action);
            if (values) {
                remove(action, *values);
            }
            return values.has_value();
        }
        writeUnsupported(reporter_, action, syntax_);
        return false;
    }

  private:
    bool applyClear(const AttrAction& action) {
        // Only "-" and "--" clear: "telephoneNumber:555-0100" is a delimiter short, and
        // taking its hyphen for a clear would empty the attribute on every target.
        if (action.operation != "-" && action.operation != "--") {
            writeUnsupported(reporter_, action, syntax_);
            return false;
        }
        if (syntax_.addMode) {
            writeAddModeWarning(reporter_);
            return true;
        }
        set_.clear(nameOf(action));
        reporter_.trace("Clear Attrib - [" + nameOf(action) + "]\n");
        return true;
    }

    // The error pair for an action that is well split but cannot be done.
    bool reportRefusal(const AttrAction& action, const std::string& why) {
        writeIssue(reporter_, action, syntax_);
        reporter_.notice("ERROR: " + why + "\n");
        return false;
    }

    // setbits and clearbits: the bits are ORed into the attribute's entry; the value is
    // read and rewritten per target.
    bool applyBits(const AttrAction& action) {
        if (syntax_.addMode) {
            return reportRefusal(action,
                                 "setbits and clearbits change the value an object holds; "
                                 "-add creates objects.");
        }
        if (action.binary || action.time || carriesPassword(action.attribute)) {
            return reportRefusal(action,
                                 "setbits and clearbits take the plain name of an integer "
                                 "attribute.");
        }
        std::string why;
        const std::optional<std::uint32_t> mask =
            parseBitMask(action.attribute, tokenize(action.valueText, syntax_.mvDelimiter), why);
        if (!mask) {
            return reportRefusal(action, "Bad " + action.operation + " value: " + why + ".");
        }
        BitChange& change = set_.bitChanges[action.attribute];
        (action.operation == "setbits" ? change.set : change.clear) |= *mask;
        reporter_.trace("DEBUG: Bits Attrib - [" + action.attribute + "] " + action.operation +
                        " [" + std::to_string(*mask) + "]\n");
        return true;
    }

    bool applyBlank(const AttrAction& action) {
        const std::optional<std::vector<std::string>> values = valuesOf(action);
        if (!values) {
            return false;
        }
        const std::string& value = values->front();
        if (syntax_.addMode) {
            reporter_.trace("DEBUG: Add attrib\n");
            add(action, {value});
            return true;
        }
        std::string shownAttribute = nameOf(action);
        if (action.binary) {
            record(set_.replaceBinaryValue(reporter_, action.attribute, value));
            shownAttribute = unprefixedAttribute(action.attribute);
        } else {
            set_.replaceText(nameOf(action), value);
        }
        reporter_.trace("DEBUG: Mod Attrib - [" + shownAttribute + "] with [" + value + "]\n");
        return true;
    }

    // The attribute a text value is stored under: without its TIME## prefix.
    static std::string nameOf(const AttrAction& action) {
        return action.time ? unprefixedAttribute(action.attribute) : action.attribute;
    }

    // Only the doubled operations take a list; a single "+" or "-" keeps the delimiter
    // as part of its one value. A TIME## date becomes its tick count here; nothing when one
    // is not a date (the error pair is written).
    std::optional<std::vector<std::string>> valuesOf(const AttrAction& action) {
        std::vector<std::string> values = action.operation.size() == 2
                                              ? tokenize(action.valueText, syntax_.mvDelimiter)
                                              : std::vector<std::string>{action.valueText};
        if (!action.time) {
            return values;
        }
        for (std::string& value : values) {
            std::string why;
            std::optional<std::string> ticks = tickCountOf(value, why);
            if (!value.empty() && !ticks) {
                const std::string shown = mentionsPasswordAttribute(action.source)
                                              ? std::string(kHiddenText)
                                              : terminalText(value);
                reportRefusal(action, "TIME## value [" + shown + "]: " + why + ".");
                return std::nullopt;
            }
            value = ticks.value_or("");
        }
        return values;
    }

    void add(const AttrAction& action, const std::vector<std::string>& values) {
        if (action.binary) {
            record(set_.appendBinaries(reporter_, set_.addBinary, action.attribute, values));
        } else {
            set_.appendTexts(reporter_, set_.addValues, nameOf(action), values);
        }
    }

    void remove(const AttrAction& action, const std::vector<std::string>& values) {
        if (action.binary) {
            record(set_.appendBinaries(reporter_, set_.removeBinary, action.attribute, values));
        } else {
            set_.appendTexts(reporter_, set_.removeValues, nameOf(action), values);
        }
    }

    void record(int status) {
        if (status != 0) {
            outcome_.binaryFailed = true;
            outcome_.binaryStatus = status;
        }
    }

    Reporter& reporter_;
    const ActionSyntax& syntax_;
    ModificationSet& set_;
    ActionParseOutcome& outcome_;
};

// A bit change starts from the value the object holds: another change of the same
// attribute in the same request, or a bit both set and cleared, leaves no one answer.
bool bitChangesStandAlone(Reporter& reporter, const ModificationSet& set) {
    bool alone = true;
    for (const auto& [name, change] : set.bitChanges) {
        const std::string shown = terminalText(name);
        if ((change.set & change.clear) != 0) {
            reporter.notice("ERROR: setbits and clearbits of " + shown + " name the same bits (" +
                            std::to_string(change.set & change.clear) + ").\n");
            alone = false;
        }
        const bool changedOtherwise =
            std::find(set.clears.begin(), set.clears.end(), name) != set.clears.end() ||
            set.removeValues.contains(name) || set.replaceValues.contains(name) ||
            set.addValues.contains(name) || set.removeBinary.contains(name) ||
            set.replaceBinary.contains(name) || set.addBinary.contains(name);
        if (changedOtherwise) {
            reporter.notice("ERROR: " + shown +
                            " has setbits or clearbits and another change; give one or the "
                            "other.\n");
            alone = false;
        }
    }
    return alone;
}

}  // namespace

ActionParseOutcome parseAttributeActions(Reporter& reporter,
                                         const std::vector<std::string>& arguments,
                                         const ActionSyntax& syntax, ModificationSet& set) {
    ActionParseOutcome outcome;
    ActionApplier applier(reporter, syntax, set, outcome);
    for (const std::string& argument : arguments) {
        const AttrAction action = splitAction(argument, syntax);
        if (reporter.debug) {
            reporter.trace(actionDebugText(action));
        }
        if (!applier.apply(action)) {
            outcome.wellFormed = false;
        }
    }
    if (!bitChangesStandAlone(reporter, set)) {
        outcome.wellFormed = false;
    }
    return outcome;
}

}  // namespace kestrel
