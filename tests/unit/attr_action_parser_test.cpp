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

struct ParseRow {
    std::string name;
    std::vector<std::string> arguments;
    bool addMode;
    bool debug;
    std::string output;
    std::string set;
    bool wellFormed = true;
    int binaryStatus = 0;
    std::string attrDelimiter = ":";
    std::string mvDelimiter = ";";
};

void runRows(const std::vector<ParseRow>& rows) {
    for (const auto& row : rows) {
        std::ostringstream out;
        std::ostringstream err;
        Reporter reporter(out, err);
        reporter.debug = row.debug;
        ActionSyntax syntax;
        syntax.attrDelimiter = row.attrDelimiter;
        syntax.mvDelimiter = row.mvDelimiter;
        syntax.addMode = row.addMode;
        ModificationSet set;
        const ActionParseOutcome outcome =
            parseAttributeActions(reporter, row.arguments, syntax, set);
        EXPECT_EQ(out.str(), row.output) << row.name;
        EXPECT_EQ(err.str(), "") << row.name;
        EXPECT_EQ(describe(set), row.set) << row.name;
        EXPECT_EQ(outcome.wellFormed, row.wellFormed) << row.name;
        EXPECT_EQ(outcome.binaryFailed, row.binaryStatus != 0) << row.name;
        EXPECT_EQ(outcome.binaryStatus, row.binaryStatus) << row.name;
    }
}

constexpr bool kModify = false;
constexpr bool kAdd = true;
constexpr bool kQuiet = false;
constexpr bool kDebug = true;

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

const std::string kAddWarning = "WARN: Delete/Clear option illogical for add, ignoring.\n";

TEST(ParseAttributeActions, TextOperations) {
    runRows({
        {"replace", {"description::Hello"}, kModify, kQuiet, "", "replace description: [Hello]\n"},
        {"value keeps delimiters",
         {"description::Hello:World"},
         kModify,
         kQuiet,
         "",
         "replace description: [Hello:World]\n"},
        {"names fold, values keep case",
         {"Description::X", "description::Y"},
         kModify,
         kQuiet,
         "",
         "replace description: [Y]\n"},
        {"clear", {"scriptpath:-"}, kModify, kQuiet, "", "clear scriptpath\n"},
        {"clear, trailing delimiter", {"scriptpath:-:"}, kModify, kQuiet, "", "clear scriptpath\n"},
        {"clear twice",
         {"otherattr:-", "otherattr:--"},
         kModify,
         kQuiet,
         "",
         "clear otherattr\nclear otherattr\n"},
        {"clear, doubled", {"scriptpath:--"}, kModify, kQuiet, "", "clear scriptpath\n"},
        {"multi-value add", {"drink:++:a;;b"}, kModify, kQuiet, "", "add drink: [a] [b]\n"},
        {"single add keeps the list delimiter",
         {"drink:+:a;b"},
         kModify,
         kQuiet,
         "",
         "add drink: [a;b]\n"},
        {"adds merge in order",
         {"drink:++:a;b", "drink:+:c"},
         kModify,
         kQuiet,
         "",
         "add drink: [a] [b] [c]\n"},
        {"empty list still makes an entry", {"drink:++:;;"}, kModify, kQuiet, "", "add drink:\n"},
        {"remove one", {"Drink:-:Tea;Coffee"}, kModify, kQuiet, "", "remove drink: [Tea;Coffee]\n"},
        {"remove several",
         {"drink:--:tea;coffee;"},
         kModify,
         kQuiet,
         "",
         "remove drink: [tea] [coffee]\n"},
        {"operations fold",
         {"member:++:a", "member:+:b"},
         kModify,
         kQuiet,
         "",
         "add member: [a] [b]\n"},
        {"blank in add mode adds the unsplit value",
         {"objectclass::user;group"},
         kAdd,
         kQuiet,
         "",
         "add objectclass: [user;group]\n"},
        {"add in add mode",
         {"objectclass:++:top;user"},
         kAdd,
         kQuiet,
         "",
         "add objectclass: [top] [user]\n"},
        {"password pseudo-attribute, modify",
         {"#SetPwd#::Secret1"},
         kModify,
         kQuiet,
         "",
         "replace #setpwd#: [Secret1]\n"},
        {"password pseudo-attribute, add",
         {"#setpwd#::Secret1"},
         kAdd,
         kQuiet,
         "",
         "add #setpwd#: [Secret1]\n"},
        {"every member at once",
         {"b:-", "b::x", "a:+:1", "a:-:2", "c:-", "bin##k::0a", "bin##j:+:0b", "bin##j:-:0c"},
         kModify,
         kQuiet,
         "",
         "clear b\nclear c\nremove a: [2]\nreplace b: [x]\nadd a: [1]\nremoveBin j: 0c\n"
         "replaceBin k: 0a\naddBin j: 0b\n"},
    });
}

TEST(ParseAttributeActions, Delimiters) {
    ParseRow hash{"one-character delimiter", {"member#+#cn=x"}, kModify, kQuiet, "",
                  "add member: [cn=x]\n"};
    hash.attrDelimiter = "#";
    ParseRow doubled{"two-character delimiter",
                     {"description||||x", "other||+||a||b"},
                     kModify,
                     kQuiet,
                     "",
                     "replace description: [x]\nadd other: [a||b]\n"};
    doubled.attrDelimiter = "||";
    ParseRow mv{"other list delimiter",  {"drink:++:a,b;c"}, kModify, kQuiet, "",
                "add drink: [a] [b;c]\n"};
    mv.mvDelimiter = ",";
    ParseRow emptyMv{"empty list delimiter", {"drink:++:abc"}, kModify, kQuiet, "", "add drink:\n"};
    emptyMv.mvDelimiter = "";
    ParseRow emptyAttr{"empty attribute delimiter", {"ab"}, kModify, kQuiet,
                       unsupported("ab", ""),       "",     false};
    emptyAttr.attrDelimiter = "";
    runRows({hash, doubled, mv, emptyMv, emptyAttr});
}

TEST(ParseAttributeActions, MalformedActionsAreAllReported) {
    runRows({
        {"no delimiter",
         {"objectclass"},
         kModify,
         kQuiet,
         missingOperation("objectclass"),
         "",
         false},
        {"empty argument", {""}, kModify, kQuiet, missingOperation(""), "", false},
        {"lone delimiter", {":"}, kModify, kQuiet, missingOperation(":"), "", false},
        {"plus alone",
         {"scriptpath:+"},
         kModify,
         kQuiet,
         unsupported("scriptpath:+", "+"),
         "",
         false},
        {"empty value",
         {"description::"},
         kModify,
         kQuiet,
         unsupported("description::", ""),
         "",
         false},
        {"unknown single", {"a:X:y"}, kModify, kQuiet, unsupported("a:X:y", "x"), "", false},
        {"unknown double", {"a:+-:y"}, kModify, kQuiet, unsupported("a:+-:y", "+-"), "", false},
        {"too long", {"a:+++:y"}, kModify, kQuiet, unsupported("a:+++:y", "+++"), "", false},
        {"errors do not stop the others",
         {"objectclass", "description::ok", "scriptpath:+", "a:bad:c"},
         kModify,
         kQuiet,
         missingOperation("objectclass") + unsupported("scriptpath:+", "+") +
             unsupported("a:bad:c", "bad"),
         "replace description: [ok]\n",
         false},
        {"errors in add mode too", {"x:+"}, kAdd, kQuiet, unsupported("x:+", "+"), "", false},
    });
}

// A delimiter short, a value with a hyphen reads as a two-piece action; only "-" and "--"
// clear, so such a typo is refused instead of emptying the attribute on every target.
TEST(ParseAttributeActions, OnlyAPlainDashClears) {
    runRows({
        {"phone number",
         {"telephoneNumber:555-0100"},
         kModify,
         kQuiet,
         unsupported("telephoneNumber:555-0100", "555-0100"),
         "",
         false},
        {"text with a hyphen",
         {"description:Re-org 2024"},
         kModify,
         kQuiet,
         unsupported("description:Re-org 2024", "re-org 2024"),
         "",
         false},
        {"mail address",
         {"mail:a-b@example.com"},
         kModify,
         kQuiet,
         unsupported("mail:a-b@example.com", "a-b@example.com"),
         "",
         false},
        {"dash and plus", {"x:-+"}, kModify, kQuiet, unsupported("x:-+", "-+"), "", false},
        {"three dashes", {"x:---"}, kModify, kQuiet, unsupported("x:---", "---"), "", false},
        {"in add mode no warning either",
         {"x:a-b"},
         kAdd,
         kQuiet,
         unsupported("x:a-b", "a-b"),
         "",
         false},
        {"the clears still clear",
         {"a:-", "b:--", "c:-:", "D:--:"},
         kModify,
         kQuiet,
         "",
         "clear a\nclear b\nclear c\nclear d\n",
         true},
    });
}

// A mistyped password action must not put the password on the screen or into a log:
// only a clean attribute name is shown, everything after it is masked.
TEST(ParseAttributeActions, MalformedPasswordActionsHideThePassword) {
    ParseRow hashDelimiter{"other delimiter",
                           {"unicodePwd#*#Secret-1"},
                           kModify,
                           kQuiet,
                           unsupported("unicodePwd#***", "***"),
                           "",
                           false};
    hashDelimiter.attrDelimiter = "#";
    runRows({
        {"a delimiter short: the password is the operation",
         {"#setpwd#:Secret1"},
         kModify,
         kQuiet,
         unsupported("#setpwd#:***", "***"),
         "",
         false},
        {"unknown operation",
         {"unicodePwd:*:Secret-1"},
         kModify,
         kQuiet,
         unsupported("unicodePwd:***", "***"),
         "",
         false},
        {"password holding the delimiter",
         {"#SetPwd#:Se:cret-1"},
         kModify,
         kQuiet,
         unsupported("#SetPwd#:***", "***"),
         "",
         false},
        {"no delimiter at all: nothing of it is shown",
         {"#setpwd#Secret-1"},
         kModify,
         kQuiet,
         missingOperation("***"),
         "",
         false},
        {"the name alone is shown",
         {"unicodePwd"},
         kModify,
         kQuiet,
         missingOperation("unicodePwd"),
         "",
         false},
        {"in add mode too",
         {"unicodePwd:+++:Secret-1"},
         kAdd,
         kQuiet,
         unsupported("unicodePwd:***", "***"),
         "",
         false},
        hashDelimiter,
        {"a hyphen in the password no longer reads as a clear",
         {"#setpwd#:Pass-1"},
         kModify,
         kQuiet,
         unsupported("#setpwd#:***", "***"),
         "",
         false},
        {"a binary prefix inside the name",
         {"unicoBIN##dePwd:*:Secret-1"},
         kModify,
         kQuiet,
         unsupported("unicoBIN##dePwd:***", "***"),
         "",
         false},
        {"userPassword",
         {"userPassword:*:Secret-1"},
         kModify,
         kQuiet,
         unsupported("userPassword:***", "***"),
         "",
         false},
        {"the OID",
         {"1.2.840.113556.1.4.90:*:Secret-1"},
         kModify,
         kQuiet,
         unsupported("1.2.840.113556.1.4.90:***", "***"),
         "",
         false},
        {"an attribute option",
         {"unicodePwd;binary:*:Secret-1"},
         kModify,
         kQuiet,
         unsupported("unicodePwd;binary:***", "***"),
         "",
         false},
        {"other attributes are shown whole",
         {"description:*:Secret-1"},
         kModify,
         kQuiet,
         unsupported("description:*:Secret-1", "*"),
         "",
         false},
    });
}

TEST(ParseAttributeActions, RemovalsAreDroppedInAddMode) {
    runRows({
        {"clear", {"scriptpath:-"}, kAdd, kQuiet, kAddWarning, ""},
        {"remove",
         {"drink:-:a", "drink:--:a;b", "sid##objectsid:-:bad"},
         kAdd,
         kQuiet,
         kAddWarning + kAddWarning + kAddWarning,
         ""},
        {"remove, debug",
         {"drink:--:a"},
         kAdd,
         kDebug,
         debugHeader(3, "drink:--:a", "drink", "--", "a") + "DEBUG: MV Delete\n" + kAddWarning,
         ""},
        {"clear, debug",
         {"x:-"},
         kAdd,
         kDebug,
         debugHeader(2, "x:-", "x", "-", "") + kAddWarning,
         ""},
    });
}

TEST(ParseAttributeActions, DebugLines) {
    runRows({
        {"replace",
         {"description::Hello"},
         kModify,
         kDebug,
         debugHeader(3, "description::Hello", "description", "", "Hello") +
             "DEBUG: Mod Attrib - [description] with [Hello]\n",
         "replace description: [Hello]\n"},
        {"clear (no DEBUG: prefix)",
         {"ScriptPath:-"},
         kModify,
         kDebug,
         debugHeader(2, "ScriptPath:-", "scriptpath", "-", "") + "Clear Attrib - [scriptpath]\n",
         "clear scriptpath\n"},
        {"multi-value add",
         {"drink:++:a;;b"},
         kModify,
         kDebug,
         debugHeader(3, "drink:++:a;;b", "drink", "++", "a;;b") +
             "DEBUG: MV Add\n"
             "DEBUG: MV Val Attrib - [drink] with [a]\n"
             "DEBUG: MV Val Attrib - [drink] with [b]\n",
         "add drink: [a] [b]\n"},
        {"remove",
         {"drink:-:a"},
         kModify,
         kDebug,
         debugHeader(3, "drink:-:a", "drink", "-", "a") +
             "DEBUG: MV Delete\n"
             "DEBUG: MV Val Attrib - [drink] with [a]\n",
         "remove drink: [a]\n"},
        {"blank in add mode",
         {"objectClass::User"},
         kAdd,
         kDebug,
         debugHeader(3, "objectClass::User", "objectclass", "", "User") +
             "DEBUG: Add attrib\n"
             "DEBUG: MV Val Attrib - [objectclass] with [User]\n",
         "add objectclass: [User]\n"},
        {"missing operation",
         {"objectclass"},
         kModify,
         kDebug,
         debugHeader(1, "objectclass", "objectclass", "", "") + missingOperation("objectclass"),
         "",
         false},
        {"empty argument",
         {""},
         kModify,
         kDebug,
         debugHeader(0, "", "", "", "") + missingOperation(""),
         "",
         false},
        {"unsupported",
         {"a:X:y:z"},
         kModify,
         kDebug,
         debugHeader(3, "a:X:y:z", "a", "x", "y:z") + unsupported("a:X:y:z", "x"),
         "",
         false},
    });
}

TEST(ParseAttributeActions, BinaryValues) {
    const std::string guid = kGuid;
    runRows({
        {"guid in any case",
         {"GUID##someattr::" + guid, "Guid##otherattr::{" + guid + "}"},
         kModify,
         kQuiet,
         "",
         std::string("replaceBin otherattr: ") + kGuidBytes +
             "\nreplaceBin someattr: " + kGuidBytes + "\n"},
        {"sid lists merge",
         {"sid##objectsid:++:S-1-5-32-544", "SID##objectSid:+:S-1-5-32-545"},
         kModify,
         kQuiet,
         "",
         std::string("addBin objectsid: ") + kSid544 + " " + kSid545 + "\n"},
        {"blank in add mode", {"bin##blob::0a 0b"}, kAdd, kQuiet, "", "addBin blob: 0a0b\n"},
        {"remove", {"bin##blob:--:0a;0b"}, kModify, kQuiet, "", "removeBin blob: 0a 0b\n"},
        {"marker without prefix", {"foo##bar::x"}, kModify, kQuiet, "", "replaceBin foo##bar: \n"},
        {"clear keeps the name as written",
         {"SID##objectSid:-"},
         kModify,
         kQuiet,
         "",
         "clear sid##objectsid\n"},
        {"replace, debug",
         {"SID##objectSid::S-1-5-32-544"},
         kModify,
         kDebug,
         debugHeader(3, "SID##objectSid::S-1-5-32-544", "sid##objectsid", "", "S-1-5-32-544") +
             "DEBUG: Encoding SID: S-1-5-32-544\n"
             "DEBUG: SID String=S-1-5-32-544\n"
             "DEBUG: Data Size - 16\n"
             "DEBUG: Mod Attrib - [objectsid] with [S-1-5-32-544]\n",
         std::string("replaceBin objectsid: ") + kSid544 + "\n"},
        {"add, debug",
         {"bin##blob:+:0a"},
         kModify,
         kDebug,
         debugHeader(3, "bin##blob:+:0a", "bin##blob", "+", "0a") +
             "DEBUG: MV Add\n"
             "DEBUG: Encoding BIN: 0a\n"
             "DEBUG: Data Size - 1\n"
             "DEBUG: MV Val Attrib - [blob] with [0a]\n",
         "addBin blob: 0a\n"},
        {"blank in add mode, debug",
         {"bin##blob::0a"},
         kAdd,
         kDebug,
         debugHeader(3, "bin##blob::0a", "bin##blob", "", "0a") +
             "DEBUG: Add attrib\n"
             "DEBUG: Encoding BIN: 0a\n"
             "DEBUG: Data Size - 1\n"
             "DEBUG: MV Val Attrib - [blob] with [0a]\n",
         "addBin blob: 0a\n"},
    });
}

TEST(ParseAttributeActions, BinaryFailures) {
    const std::string badSid = " (1337) The security ID structure is invalid.\n";
    const std::string badGuid =
        " (1705) The string universal unique identifier (UUID) is invalid.\n";
    runRows({
        {"bad sid is not stored",
         {"sid##objectsid::bogus"},
         kModify,
         kQuiet,
         "ERROR (ConvertStringSidToSid): [bogus]" + badSid,
         "",
         true,
         1337},
        {"the last failure decides",
         {"bin##x::zz", "guid##y::nope", "description::ok"},
         kModify,
         kQuiet,
         "ERROR: Error in HEX conversion - (z) [zz]\nERROR (UuidFromString): nope]" + badGuid,
         "replace description: [ok]\n",
         true,
         1705},
        {"the last failure decides, other order",
         {"guid##y::nope", "bin##x::abc"},
         kModify,
         kQuiet,
         "ERROR (UuidFromString): nope]" + badGuid +
             "ERROR: Odd number of HEX characters. (3) [abc]\n",
         "",
         true,
         -1},
        {"list keeps what encoded",
         {"bin##blob:++:0a;zz;0b"},
         kModify,
         kQuiet,
         "ERROR: Error in HEX conversion - (z) [zz]\n",
         "addBin blob: 0a 0b\n",
         true,
         -1},
        {"failure and malformed action",
         {"sid##s::S-1-", "x"},
         kModify,
         kQuiet,
         "ERROR (ConvertStringSidToSid): [S-1-]" + badSid + missingOperation("x"),
         "",
         false,
         1337},
        {"failed replace, debug",
         {"guid##g::nope"},
         kModify,
         kDebug,
         debugHeader(3, "guid##g::nope", "guid##g", "", "nope") +
             "DEBUG: Encoding GUID: nope\n"
             "DEBUG: GUID String=nope\n"
             "ERROR (UuidFromString): nope]" +
             badGuid + "DEBUG: Mod Attrib - [g] with [nope]\n",
         "",
         true,
         1705},
        {"failed list value, debug",
         {"bin##blob:++:zz;0a"},
         kModify,
         kDebug,
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
    const std::string badSid = " (1337) The security ID structure is invalid.\n";
    const std::string badGuid =
        " (1705) The string universal unique identifier (UUID) is invalid.\n";
    runRows({
        {"bad digit",
         {"bin##unicodePwd::Secret-1"},
         kModify,
         kQuiet,
         "ERROR: Error in HEX conversion - (***) [***]\n",
         "",
         true,
         -1},
        {"odd count",
         {"BIN##unicodePwd::220"},
         kModify,
         kQuiet,
         "ERROR: Odd number of HEX characters. (3) [***]\n",
         "",
         true,
         -1},
        {"odd count, prefix inside the name",
         {"unicoBIN##dePwd::220"},
         kModify,
         kQuiet,
         "ERROR: Odd number of HEX characters. (3) [***]\n",
         "",
         true,
         -1},
        {"as a SID",
         {"sid##unicodepwd::Secret-1"},
         kModify,
         kQuiet,
         "ERROR (ConvertStringSidToSid): [***]" + badSid,
         "",
         true,
         1337},
        {"as a GUID",
         {"guid##unicodepwd::Secret-1"},
         kModify,
         kQuiet,
         "ERROR (UuidFromString): ***]" + badGuid,
         "",
         true,
         1705},
    });
}

// TIME## and setbits/clearbits: what enters the set, or a fragment of the refusal.
TEST(ParseAttributeActions, DatesAndBits) {
    struct Row {
        std::vector<std::string> arguments;
        bool addMode;
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
                                                   ActionSyntax{":", ";", row.addMode}, set);
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
