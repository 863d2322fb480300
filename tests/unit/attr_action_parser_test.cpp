#include "attr/attr_action_parser.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "util/hex_text.h"

namespace kestrel {
namespace {

template <typename Value, typename Show>
void describeLists(std::string& text, const char* member,
                   const std::map<std::string, std::vector<Value>>& lists, Show show) {
    for (const auto& [name, values] : lists) {
        text += std::string(member) + " " + name + ":";
        for (const auto& value : values) {
            text += " " + show(value);
        }
        text += "\n";
    }
}

// One line per entry, members in a fixed order, maps in their own order.
std::string describe(const ModificationSet& set) {
    const auto asText = [](const std::string& value) { return "[" + value + "]"; };
    const auto asHex = [](const BinaryValue& value) { return hexText(value); };
    std::string text;
    for (const auto& name : set.clears) {
        text += "clear " + name + "\n";
    }
    describeLists(text, "remove", set.removeValues, asText);
    for (const auto& [name, value] : set.replaceValues) {
        text += "replace " + name + ": [" + value + "]\n";
    }
    describeLists(text, "add", set.addValues, asText);
    describeLists(text, "removeBin", set.removeBinary, asHex);
    for (const auto& [name, value] : set.replaceBinary) {
        text += "replaceBin " + name + ": " + hexText(value) + "\n";
    }
    describeLists(text, "addBin", set.addBinary, asHex);
    for (const auto& [name, change] : set.bitChanges) {
        text += "bits " + name + ": set " + std::to_string(change.set) + " clear " +
                std::to_string(change.clear) + "\n";
    }
    return text;
}

// How a row's arguments are read: -add or not, with -d or not.
enum Mode { kModify, kAdd, kModifyDebug, kAddDebug };

// One case: the arguments, how they are read, the output, the set and the outcome.
struct ParseRow {
    std::vector<std::string> arguments;
    Mode mode;
    std::string output;
    std::string set;
    bool wellFormed = true;
    int binaryStatus = 0;
    std::string attrDelimiter = ":";
    std::string mvDelimiter = ";";
};

void runRows(const std::vector<ParseRow>& rows) {
    for (const auto& row : rows) {
        std::string trace = "mode " + std::to_string(row.mode);
        for (const auto& argument : row.arguments) {
            trace += " [" + argument + "]";
        }
        SCOPED_TRACE(trace);
        std::ostringstream out;
        std::ostringstream err;
        Reporter reporter(out, err);
        reporter.debug = row.mode == kModifyDebug || row.mode == kAddDebug;
        ActionSyntax syntax;
        syntax.attrDelimiter = row.attrDelimiter;
        syntax.mvDelimiter = row.mvDelimiter;
        syntax.addMode = row.mode == kAdd || row.mode == kAddDebug;
        ModificationSet set;
        const ActionParseOutcome outcome =
            parseAttributeActions(reporter, row.arguments, syntax, set);
        EXPECT_EQ(out.str(), row.output);
        EXPECT_EQ(err.str(), "");
        EXPECT_EQ(describe(set), row.set);
        EXPECT_EQ(outcome.wellFormed, row.wellFormed);
        EXPECT_EQ(outcome.binaryFailed, row.binaryStatus != 0);
        EXPECT_EQ(outcome.binaryStatus, row.binaryStatus);
    }
}

constexpr const char* kGuid = "85C04D89-D68C-4785-B801-DBF980F97C5C";
constexpr const char* kGuidBytes = "894dc0858cd68547b801dbf980f97c5c";
constexpr const char* kSid544 = "01020000000000052000000020020000";
constexpr const char* kSid545 = "01020000000000052000000021020000";

std::string debugHeader(int count, const std::string& argument, const std::string& attribute,
                        const std::string& operation, const std::string& value) {
    return "DEBUG: icnt=" + std::to_string(count) + "\nDEBUG: arg=[" + argument +
           "]\nDEBUG: attrib=[" + attribute + "]\nDEBUG: op=[" + operation + "]\nDEBUG: stmp2=[" +
           value + "]\n\n";
}

std::string unsupported(const std::string& argument, const std::string& operation) {
    return "ERROR: Issue with attrib parameter - [" + argument +
           "]\nERROR: Unsupported Op or format - [" + operation + "]\n";
}

std::string missingOperation(const std::string& argument) {
    return "ERROR: Issue with attrib parameter - [" + argument + "]\nERROR: Missing operation.\n\n";
}

// A password action refused with all after the attribute name masked.
std::string masked(const std::string& shownName) {
    return unsupported(shownName + "***", "***");
}

// One argument refused for its operation, nothing stored.
ParseRow refused(const std::string& argument, const std::string& operation, Mode mode = kModify) {
    return {{argument}, mode, unsupported(argument, operation), "", false};
}

// The lines of a value that does not encode.
std::string hexError(const std::string& digit, const std::string& value) {
    return "ERROR: Error in HEX conversion - (" + digit + ") [" + value + "]\n";
}
std::string oddHex(const std::string& value) {
    return "ERROR: Odd number of HEX characters. (3) [" + value + "]\n";
}
std::string sidError(const std::string& value) {
    return "ERROR (ConvertStringSidToSid): [" + value +
           "] (1337) The security ID structure is invalid.\n";
}
std::string guidError(const std::string& value) {
    return "ERROR (UuidFromString): " + value +
           "] (1705) The string universal unique identifier (UUID) is invalid.\n";
}

const std::string kAddWarning = "WARN: Delete/Clear option illogical for add, ignoring.\n";

TEST(ParseAttributeActions, TextOperations) {
    runRows({
        {{"description::Hello"}, kModify, "", "replace description: [Hello]\n"},  // replace
        // value keeps delimiters
        {{"description::Hello:World"}, kModify, "", "replace description: [Hello:World]\n"},
        // names fold, values keep case
        {{"Description::X", "description::Y"}, kModify, "", "replace description: [Y]\n"},
        {{"scriptpath:-"}, kModify, "", "clear scriptpath\n"},   // clear
        {{"scriptpath:-:"}, kModify, "", "clear scriptpath\n"},  // clear, trailing delimiter
        // clear twice
        {{"otherattr:-", "otherattr:--"}, kModify, "", "clear otherattr\nclear otherattr\n"},
        {{"scriptpath:--"}, kModify, "", "clear scriptpath\n"},    // clear, doubled
        {{"drink:++:a;;b"}, kModify, "", "add drink: [a] [b]\n"},  // multi-value add
        // single add keeps the list delimiter
        {{"drink:+:a;b"}, kModify, "", "add drink: [a;b]\n"},
        // adds merge in order
        {{"drink:++:a;b", "drink:+:c"}, kModify, "", "add drink: [a] [b] [c]\n"},
        {{"drink:++:;;"}, kModify, "", "add drink:\n"},  // empty list still makes an entry
        {{"Drink:-:Tea;Coffee"}, kModify, "", "remove drink: [Tea;Coffee]\n"},  // remove one
        // remove several
        {{"drink:--:tea;coffee;"}, kModify, "", "remove drink: [tea] [coffee]\n"},
        {{"member:++:a", "member:+:b"}, kModify, "", "add member: [a] [b]\n"},  // operations fold
        // blank in add mode adds the unsplit value
        {{"objectclass::user;group"}, kAdd, "", "add objectclass: [user;group]\n"},
        // add in add mode
        {{"objectclass:++:top;user"}, kAdd, "", "add objectclass: [top] [user]\n"},
        // password pseudo-attribute, modify
        {{"#SetPwd#::Secret1"}, kModify, "", "replace #setpwd#: [Secret1]\n"},
        // password pseudo-attribute, add
        {{"#setpwd#::Secret1"}, kAdd, "", "add #setpwd#: [Secret1]\n"},
        // every member at once
        {{"b:-", "b::x", "a:+:1", "a:-:2", "c:-", "bin##k::0a", "bin##j:+:0b", "bin##j:-:0c"},
         kModify,
         "",
         "clear b\nclear c\nremove a: [2]\nreplace b: [x]\nadd a: [1]\nremoveBin j: 0c\n"
         "replaceBin k: 0a\naddBin j: 0b\n"},
    });
}

TEST(ParseAttributeActions, Delimiters) {
    runRows({
        {{"member#+#cn=x"}, kModify, "", "add member: [cn=x]\n", true, 0, "#"},
        {{"description||||x", "other||+||a||b"},
         kModify,
         "",
         "replace description: [x]\nadd other: [a||b]\n",
         true,
         0,
         "||"},
        {{"drink:++:a,b;c"}, kModify, "", "add drink: [a] [b;c]\n", true, 0, ":", ","},
        {{"drink:++:abc"}, kModify, "", "add drink:\n", true, 0, ":", ""},  // empty list delimiter
        {{"ab"}, kModify, unsupported("ab", ""), "", false, 0, ""},  // empty attribute delimiter
    });
}

TEST(ParseAttributeActions, MalformedActionsAreAllReported) {
    runRows({
        {{"objectclass"}, kModify, missingOperation("objectclass"), "", false},  // no delimiter
        {{""}, kModify, missingOperation(""), "", false},                        // empty argument
        {{":"}, kModify, missingOperation(":"), "", false},                      // lone delimiter
        refused("scriptpath:+", "+"),                                            // plus alone
        refused("description::", ""),                                            // empty value
        refused("a:X:y", "x"),                                                   // unknown single
        refused("a:+-:y", "+-"),                                                 // unknown double
        refused("a:+++:y", "+++"),                                               // too long
        // errors do not stop the others
        {{"objectclass", "description::ok", "scriptpath:+", "a:bad:c"},
         kModify,
         missingOperation("objectclass") + unsupported("scriptpath:+", "+") +
             unsupported("a:bad:c", "bad"),
         "replace description: [ok]\n",
         false},
        refused("x:+", "+", kAdd),  // errors in add mode too
    });
}

// A delimiter short, a value with a hyphen reads as a two-piece action; only "-" and "--"
// clear, so such a typo is refused instead of emptying the attribute on every target.
TEST(ParseAttributeActions, OnlyAPlainDashClears) {
    runRows({
        refused("telephoneNumber:555-0100", "555-0100"),     // phone number
        refused("description:Re-org 2024", "re-org 2024"),   // text with a hyphen
        refused("mail:a-b@example.com", "a-b@example.com"),  // mail address
        refused("x:-+", "-+"),                               // dash and plus
        refused("x:---", "---"),                             // three dashes
        refused("x:a-b", "a-b", kAdd),                       // in add mode no warning either
        // the clears still clear
        {{"a:-", "b:--", "c:-:", "D:--:"},
         kModify,
         "",
         "clear a\nclear b\nclear c\nclear d\n",
         true},
    });
}

// A mistyped password action must not put the password on the screen or into a log:
// only a clean attribute name is shown, everything after it is masked.
TEST(ParseAttributeActions, MalformedPasswordActionsHideThePassword) {
    runRows({
        // a delimiter short: the password is the operation
        {{"#setpwd#:Secret1"}, kModify, masked("#setpwd#:"), "", false},
        // unknown operation
        {{"unicodePwd:*:Secret-1"}, kModify, masked("unicodePwd:"), "", false},
        // password holding the delimiter
        {{"#SetPwd#:Se:cret-1"}, kModify, masked("#SetPwd#:"), "", false},
        // no delimiter at all: nothing of it is shown
        {{"#setpwd#Secret-1"}, kModify, missingOperation("***"), "", false},
        // the name alone is shown
        {{"unicodePwd"}, kModify, missingOperation("unicodePwd"), "", false},
        {{"unicodePwd:+++:Secret-1"}, kAdd, masked("unicodePwd:"), "", false},  // in add mode too
        // other delimiter
        {{"unicodePwd#*#Secret-1"}, kModify, masked("unicodePwd#"), "", false, 0, "#"},
        // a hyphen in the password no longer reads as a clear
        {{"#setpwd#:Pass-1"}, kModify, masked("#setpwd#:"), "", false},
        // a binary prefix inside the name
        {{"unicoBIN##dePwd:*:Secret-1"}, kModify, masked("unicoBIN##dePwd:"), "", false},
        {{"userPassword:*:Secret-1"}, kModify, masked("userPassword:"), "", false},  // userPassword
        // the OID
        {{"1.2.840.113556.1.4.90:*:Secret-1"},
         kModify,
         masked("1.2.840.113556.1.4.90:"),
         "",
         false},
        // an attribute option
        {{"unicodePwd;binary:*:Secret-1"}, kModify, masked("unicodePwd;binary:"), "", false},
        refused("description:*:Secret-1", "*"),  // other attributes are shown whole
    });
}

TEST(ParseAttributeActions, RemovalsAreDroppedInAddMode) {
    runRows({
        {{"scriptpath:-"}, kAdd, kAddWarning, ""},  // clear
        // remove
        {{"drink:-:a", "drink:--:a;b", "sid##objectsid:-:bad"},
         kAdd,
         kAddWarning + kAddWarning + kAddWarning,
         ""},
        // remove, debug
        {{"drink:--:a"},
         kAddDebug,
         debugHeader(3, "drink:--:a", "drink", "--", "a") + "DEBUG: MV Delete\n" + kAddWarning,
         ""},
        // clear, debug
        {{"x:-"}, kAddDebug, debugHeader(2, "x:-", "x", "-", "") + kAddWarning, ""},
    });
}

TEST(ParseAttributeActions, DebugLines) {
    runRows({
        // replace
        {{"description::Hello"},
         kModifyDebug,
         debugHeader(3, "description::Hello", "description", "", "Hello") +
             "DEBUG: Mod Attrib - [description] with [Hello]\n",
         "replace description: [Hello]\n"},
        // clear (no DEBUG: prefix)
        {{"ScriptPath:-"},
         kModifyDebug,
         debugHeader(2, "ScriptPath:-", "scriptpath", "-", "") + "Clear Attrib - [scriptpath]\n",
         "clear scriptpath\n"},
        // multi-value add
        {{"drink:++:a;;b"},
         kModifyDebug,
         debugHeader(3, "drink:++:a;;b", "drink", "++", "a;;b") +
             "DEBUG: MV Add\n"
             "DEBUG: MV Val Attrib - [drink] with [a]\n"
             "DEBUG: MV Val Attrib - [drink] with [b]\n",
         "add drink: [a] [b]\n"},
        // remove
        {{"drink:-:a"},
         kModifyDebug,
         debugHeader(3, "drink:-:a", "drink", "-", "a") +
             "DEBUG: MV Delete\n"
             "DEBUG: MV Val Attrib - [drink] with [a]\n",
         "remove drink: [a]\n"},
        // blank in add mode
        {{"objectClass::User"},
         kAddDebug,
         debugHeader(3, "objectClass::User", "objectclass", "", "User") +
             "DEBUG: Add attrib\n"
             "DEBUG: MV Val Attrib - [objectclass] with [User]\n",
         "add objectclass: [User]\n"},
        // missing operation
        {{"objectclass"},
         kModifyDebug,
         debugHeader(1, "objectclass", "objectclass", "", "") + missingOperation("objectclass"),
         "",
         false},
        // empty argument
        {{""}, kModifyDebug, debugHeader(0, "", "", "", "") + missingOperation(""), "", false},
        // unsupported
        {{"a:X:y:z"},
         kModifyDebug,
         debugHeader(3, "a:X:y:z", "a", "x", "y:z") + unsupported("a:X:y:z", "x"),
         "",
         false},
    });
}

TEST(ParseAttributeActions, BinaryValues) {
    const std::string guid = kGuid;
    runRows({
        // guid in any case
        {{"GUID##someattr::" + guid, "Guid##otherattr::{" + guid + "}"},
         kModify,
         "",
         std::string("replaceBin otherattr: ") + kGuidBytes +
             "\nreplaceBin someattr: " + kGuidBytes + "\n"},
        // sid lists merge
        {{"sid##objectsid:++:S-1-5-32-544", "SID##objectSid:+:S-1-5-32-545"},
         kModify,
         "",
         std::string("addBin objectsid: ") + kSid544 + " " + kSid545 + "\n"},
        {{"bin##blob::0a 0b"}, kAdd, "", "addBin blob: 0a0b\n"},           // blank in add mode
        {{"bin##blob:--:0a;0b"}, kModify, "", "removeBin blob: 0a 0b\n"},  // remove
        {{"foo##bar::x"}, kModify, "", "replaceBin foo##bar: \n"},         // marker without prefix
        // clear keeps the name as written
        {{"SID##objectSid:-"}, kModify, "", "clear sid##objectsid\n"},
        // replace, debug
        {{"SID##objectSid::S-1-5-32-544"},
         kModifyDebug,
         debugHeader(3, "SID##objectSid::S-1-5-32-544", "sid##objectsid", "", "S-1-5-32-544") +
             "DEBUG: Encoding SID: S-1-5-32-544\n"
             "DEBUG: SID String=S-1-5-32-544\n"
             "DEBUG: Data Size - 16\n"
             "DEBUG: Mod Attrib - [objectsid] with [S-1-5-32-544]\n",
         std::string("replaceBin objectsid: ") + kSid544 + "\n"},
        // add, debug
        {{"bin##blob:+:0a"},
         kModifyDebug,
         debugHeader(3, "bin##blob:+:0a", "bin##blob", "+", "0a") +
             "DEBUG: MV Add\n"
             "DEBUG: Encoding BIN: 0a\n"
             "DEBUG: Data Size - 1\n"
             "DEBUG: MV Val Attrib - [blob] with [0a]\n",
         "addBin blob: 0a\n"},
        // blank in add mode, debug
        {{"bin##blob::0a"},
         kAddDebug,
         debugHeader(3, "bin##blob::0a", "bin##blob", "", "0a") +
             "DEBUG: Add attrib\n"
             "DEBUG: Encoding BIN: 0a\n"
             "DEBUG: Data Size - 1\n"
             "DEBUG: MV Val Attrib - [blob] with [0a]\n",
         "addBin blob: 0a\n"},
    });
}

TEST(ParseAttributeActions, BinaryFailures) {
    runRows({
        // bad sid is not stored
        {{"sid##objectsid::bogus"}, kModify, sidError("bogus"), "", true, 1337},
        // the last failure decides
        {{"bin##x::zz", "guid##y::nope", "description::ok"},
         kModify,
         hexError("z", "zz") + guidError("nope"),
         "replace description: [ok]\n",
         true,
         1705},
        // the last failure decides, other order
        {{"guid##y::nope", "bin##x::abc"},
         kModify,
         guidError("nope") + oddHex("abc"),
         "",
         true,
         -1},
        // list keeps what encoded
        {{"bin##blob:++:0a;zz;0b"}, kModify, hexError("z", "zz"), "addBin blob: 0a 0b\n", true, -1},
        // failure and malformed action
        {{"sid##s::S-1-", "x"}, kModify, sidError("S-1-") + missingOperation("x"), "", false, 1337},
        // failed replace, debug
        {{"guid##g::nope"},
         kModifyDebug,
         debugHeader(3, "guid##g::nope", "guid##g", "", "nope") +
             "DEBUG: Encoding GUID: nope\n"
             "DEBUG: GUID String=nope\n" +
             guidError("nope") + "DEBUG: Mod Attrib - [g] with [nope]\n",
         "",
         true,
         1705},
        // failed list value, debug
        {{"bin##blob:++:zz;0a"},
         kModifyDebug,
         debugHeader(3, "bin##blob:++:zz;0a", "bin##blob", "++", "zz;0a") +
             "DEBUG: MV Add\n"
             "DEBUG: Encoding BIN: zz\n"
             "ERROR: Error in HEX conversion - (z) [zz]\n"
             "DEBUG: Error in data format.\n"
             "DEBUG: Encoding BIN: 0a\n"
             "DEBUG: Data Size - 1\n"
             "DEBUG: MV Val Attrib - [blob] with [0a]\n",
         "addBin blob: 0a\n",
         true,
         -1},
    });
}

// A unicodePwd given in hexadecimal is the password spelt otherwise: its errors mask it.
TEST(ParseAttributeActions, BinaryPasswordFailuresHideTheValue) {
    runRows({
        // bad digit
        {{"bin##unicodePwd::Secret-1"}, kModify, hexError("***", "***"), "", true, -1},
        {{"BIN##unicodePwd::220"}, kModify, oddHex("***"), "", true, -1},  // odd count
        // odd count, prefix inside the name
        {{"unicoBIN##dePwd::220"}, kModify, oddHex("***"), "", true, -1},
        {{"sid##unicodepwd::Secret-1"}, kModify, sidError("***"), "", true, 1337},    // as a SID
        {{"guid##unicodepwd::Secret-1"}, kModify, guidError("***"), "", true, 1705},  // as a GUID
    });
}

// TIME## and setbits/clearbits: what enters the set, or a fragment of the refusal.
TEST(ParseAttributeActions, DatesAndBits) {
    struct Row {
        std::vector<std::string> arguments;
        Mode mode;
        std::string set;
        std::string refusal = "";
    };
    const std::string uac = "userAccountControl:";
    const std::vector<Row> rows{
        {{"TIME##accountExpires::2027-01-31", "x::never", "time##y:-"},
         kModify,
         "clear y\nreplace accountexpires: [134458272000000000]\nreplace x: [never]\n"},
        {{"time##x:++:never;1601-01-01"}, kAdd, "add x: [0] [0]\n"},
        {{"TIME##x::2027-02-29"}, kModify, "", "[2027-02-29]: no such day in the calendar.\n"},
        {{"time##bin##x::00"}, kModify, "", "cannot stand with SID##, GUID## or BIN##.\n"},
        {{uac + "setbits:ACCOUNTDISABLE;dont_expire_password", uac + "clearbits:0x10"},
         kModify,
         "bits useraccountcontrol: set 65538 clear 16\n"},
        {{"groupType:setbits:LOCKOUT"},
         kModify,
         "",
         "give the bits of other attributes as numbers.\n"},
        {{uac + "setbits:2"}, kAdd, "", "-add creates objects.\n"},
        {{"a:setbits:3", "a:clearbits:6"}, kModify, "bits a: set 3 clear 6\n", "same bits (2).\n"},
        {{"a:setbits:1", "bin##a::00"},
         kModify,
         "replaceBin a: 00\nbits a: set 1 clear 0\n",
         "a has setbits or clearbits and another change; give one or the other.\n"},
    };
    for (const Row& row : rows) {
        std::ostringstream out;
        std::ostringstream err;
        Reporter reporter(out, err);
        ModificationSet set;
        const auto outcome = parseAttributeActions(reporter, row.arguments,
                                                   ActionSyntax{":", ";", row.mode == kAdd}, set);
        EXPECT_EQ(outcome.wellFormed, row.refusal.empty()) << row.arguments[0];
        EXPECT_TRUE(out.str().ends_with(row.refusal)) << out.str();
        EXPECT_EQ(describe(set), row.set) << row.arguments[0];
    }
}

TEST(ParseAttributeActions, LongArgumentsStayCheap) {
    std::string values;
    for (int i = 0; i < 200000; ++i) {
        values += "v;";
    }
    std::ostringstream out;
    std::ostringstream err;
    Reporter reporter(out, err);
    ModificationSet set;
    const auto outcome = parseAttributeActions(
        reporter, {"drink:++:" + values, std::string(1 << 20, ':')}, ActionSyntax{}, set);
    EXPECT_TRUE(outcome.wellFormed);
    EXPECT_EQ(set.addValues.at("drink").size(), 200000u);
    // A run of delimiters: empty attribute, blank operation, the rest less its last delimiter.
    EXPECT_EQ(set.replaceValues.at(""), std::string((1 << 20) - 3, ':'));
}

}  // namespace
}  // namespace kestrel
