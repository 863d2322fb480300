#include "attr/attr_action_parser.h"

#include <string_view>
#include <utility>

#include "attr/binary_prefix.h"
#include "attr/password_attribute.h"
#include "attr/tokenizer.h"
#include "util/ascii_case.h"

namespace kestrel {
namespace {

// One attribute-action argument, split and folded.
struct AttrAction {
    std::string_view source;  // the argument as written, for messages
    int pieceCount = 0;
    std::string attribute;  // lower case, may still carry a binary prefix
    std::string operation;  // lower case, empty when absent
    std::string valueText;  // case kept; keeps any further delimiters
    bool binary = false;    // the attribute carries the "##" marker
};

AttrAction splitAction(const std::string& argument, const ActionSyntax& syntax) {
    BoundedSplit split = boundedSplit(argument, syntax.attrDelimiter);
    AttrAction action;
    action.source = argument;
    action.pieceCount = split.pieceCount;
    action.attribute = asciiLower(split.pieces[0]);
    action.operation = asciiLower(split.pieces[1]);
    action.valueText = std::move(split.pieces[2]);
    action.binary = action.attribute.find("##") != std::string::npos;
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
        if (action.pieceCount == 2) {
            return applyClear(action);
        }
        const std::string& op = action.operation;
        if (op.empty()) {
            applyBlank(action);
            return true;
        }
        if (op == "+" || op == "++") {
            reporter_.trace("DEBUG: MV Add\n");
            add(action, valuesOf(action));
            return true;
        }
        if (op == "-" || op == "--") {
            reporter_.trace("DEBUG: MV Delete\n");
            if (syntax_.addMode) {
                writeAddModeWarning(reporter_);
                return true;
            }
            remove(action, valuesOf(action));
            return true;
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
        set_.clear(action.attribute);
        reporter_.trace("Clear Attrib - [" + action.attribute + "]\n");
        return true;
    }

    void applyBlank(const AttrAction& action) {
        if (syntax_.addMode) {
            reporter_.trace("DEBUG: Add attrib\n");
            add(action, {action.valueText});
            return;
        }
        std::string shownAttribute = action.attribute;
        if (action.binary) {
            record(set_.replaceBinaryValue(reporter_, action.attribute, action.valueText));
            shownAttribute = unprefixedAttribute(action.attribute);
        } else {
            set_.replaceText(action.attribute, action.valueText);
        }
        reporter_.trace("DEBUG: Mod Attrib - [" + shownAttribute + "] with [" + action.valueText +
                        "]\n");
    }

    // Only the doubled operations take a list; a single "+" or "-" keeps the delimiter
    // as part of its one value.
    std::vector<std::string> valuesOf(const AttrAction& action) const {
        if (action.operation.size() == 2) {
            return tokenize(action.valueText, syntax_.mvDelimiter);
        }
        return {action.valueText};
    }

    void add(const AttrAction& action, const std::vector<std::string>& values) {
        if (action.binary) {
            record(set_.appendBinaries(reporter_, set_.addBinary, action.attribute, values));
        } else {
            set_.appendTexts(reporter_, set_.addValues, action.attribute, values);
        }
    }

    void remove(const AttrAction& action, const std::vector<std::string>& values) {
        if (action.binary) {
            record(set_.appendBinaries(reporter_, set_.removeBinary, action.attribute, values));
        } else {
            set_.appendTexts(reporter_, set_.removeValues, action.attribute, values);
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
    return outcome;
}

}  // namespace kestrel
