#include "ldif/ldif_writer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using namespace std::string_literals;

using Op = ModOperation;
using Kind = LdifChange::Kind;

// "[text]" or "(nothing)", so that a failure shows which it was and every blank.
std::string shown(const std::optional<std::string>& text) {
    return text ? "[" + *text + "]" : "(nothing)";
}

TEST(LdifWriter, ValueIsTextOnlyWhenItReadsBackUnchanged) {
    struct Row {
        std::string value;
        std::string line;
    };
    const std::vector<Row> rows = {
        {"hello", "description: hello\n"},
        {"", "description:\n"},
        {"mid dle", "description: mid dle\n"},
        {"a:b<c", "description: a:b<c\n"},  // only the first character is restricted
        {"#hash", "description: #hash\n"},
        {"-", "description: -\n"},
        {"~!", "description: ~!\n"},
        {" lead", "description:: IGxlYWQ=\n"},
        {":colon", "description:: OmNvbG9u\n"},
        {"<url", "description:: PHVybA==\n"},
        {"trail ", "description:: dHJhaWwg\n"},
        {"nul\0x"s, "description:: bnVsAHg=\n"},
        {"cr\r", "description:: Y3IN\n"},
        {"lf\n", "description:: bGYK\n"},
        {"\tTab", "description:: CVRhYg==\n"},  // ldapmodify would drop the tab
        {"tab\tinside", "description:: dGFiCWluc2lkZQ==\n"},
        {"del\x7f", "description:: ZGVsfw==\n"},
        {"caf\xc3\xa9", "description:: Y2Fmw6k=\n"},  // UTF-8 "café"
    };
    for (const auto& row : rows) {
        EXPECT_EQ(shown(ldifAttrValue("description", row.value)), shown(row.line))
            << "value [" << row.value << "]";
    }
}

TEST(LdifWriter, AttributeDescriptions) {
    struct Row {
        std::string name;
        bool valid;
    };
    const std::vector<Row> rows = {
        {"cn", true},
        {"sAMAccountName", true},
        {"x-y1", true},
        {"userCertificate;binary", true},
        {"cn;lang-en;x-1", true},
        {"2.5.4.3", true},
        {"2.5.4.3;binary", true},
        {"", false},
        {"1cn", false},
        {"-cn", false},
        {"_cn", false},
        {"c n", false},
        {"cn:", false},
        {"cn\n", false},
        {"#cn", false},
        {"dn: x", false},
        {";binary", false},
        {"cn;", false},
        {"cn;;x", false},
        {"cn;a b", false},
        {"member;range=0-*", false},
        {"2.5..4", false},
        {"2.5.4.", false},
        {"caf\xc3\xa9", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(isLdifAttributeDescription(row.name), row.valid) << "[" << row.name << "]";
        const auto line = ldifAttrValue(row.name, "v");
        EXPECT_EQ(shown(line), shown(row.valid ? std::optional(row.name + ": v\n") : std::nullopt))
            << "[" << row.name << "]";
    }
}

TEST(LdifWriter, Oids) {
    struct Row {
        std::string oid;
        bool valid;
    };
    const std::vector<Row> rows = {
        {"1.2.840.113556.1.4.805", true},
        {"0", true},
        {"2.5", true},
        {"", false},
        {".1", false},
        {"1.", false},
        {"1..2", false},
        {"1.2a", false},
        {" 1.2", false},
        {"1.2 true", false},
        {"1.2\n", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(isLdifOid(row.oid), row.valid) << "[" << row.oid << "]";
    }
}

TEST(LdifWriter, FoldsLinesLongerThan76Characters) {
    // "a: " and the value make lines of the lengths named; each physical line is written
    // with its own letter, so a character moved across a fold shows.
    struct Row {
        int length;
        std::string value;
        std::string text;
    };
    const auto run = [](int count, char c) { return std::string(static_cast<size_t>(count), c); };
    const std::vector<Row> rows = {
        {75, run(72, 'p'), "a: " + run(72, 'p') + "\n"},
        {76, run(73, 'p'), "a: " + run(73, 'p') + "\n"},
        {77, run(73, 'p') + "q", "a: " + run(73, 'p') + "\n q\n"},
        {151, run(73, 'p') + run(75, 'q'), "a: " + run(73, 'p') + "\n " + run(75, 'q') + "\n"},
        {152, run(73, 'p') + run(75, 'q') + "r",
         "a: " + run(73, 'p') + "\n " + run(75, 'q') + "\n r\n"},
        {226, run(73, 'p') + run(75, 'q') + run(75, 'r'),
         "a: " + run(73, 'p') + "\n " + run(75, 'q') + "\n " + run(75, 'r') + "\n"},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(row.value.size() + 3, static_cast<size_t>(row.length));
        EXPECT_EQ(shown(ldifAttrValue("a", row.value)), shown(row.text)) << row.length;
    }
}

TEST(LdifWriter, FoldsBase64Lines) {
    // 57 bytes are 76 base64 characters: "b:: " and 76 make 80, folded after 76.
    const std::string bytes(57, '\xff');
    EXPECT_EQ(shown(ldifAttrValue("b", bytes)),
              shown("b:: " + std::string(72, '/') + "\n " + std::string(4, '/') + "\n"));
}

TEST(LdifWriter, RecordOfEachKind) {
    struct Row {
        std::string what;
        LdifChange change;
        std::string text;
    };
    const std::string sid = "\x01\x02\x00\x00\x00\x00\x00\x05\x20\x00\x00\x00\x20\x02\x00\x00"s;
    const std::string longDn =
        "CN=A rather long common name for folding,OU=Some Unit,OU=Another Unit,DC=homelab,DC=net";
    const std::vector<Row> rows = {
        {"modify: each operation, values and whole-attribute removals",
         {.dn = "CN=kim,CN=Users,DC=homelab,DC=net",
          .kind = Kind::Modify,
          .modifications = {{Op::Add, "otherTelephone", {"555-0100", "555-0101"}},
                            {Op::Delete, "description", {"old"}},
                            {Op::Delete, "info", {}},
                            {Op::Replace, "objectSid", {sid}},
                            {Op::Replace, "comment", {}},
                            {Op::Replace, "displayName", {""}}}},
         "dn: CN=kim,CN=Users,DC=homelab,DC=net\n"
         "changetype: modify\n"
         "add: otherTelephone\n"
         "otherTelephone: 555-0100\n"
         "otherTelephone: 555-0101\n"
         "-\n"
         "delete: description\n"
         "description: old\n"
         "-\n"
         "delete: info\n"
         "-\n"
         "replace: objectSid\n"
         "objectSid:: AQIAAAAAAAUgAAAAIAIAAA==\n"
         "-\n"
         "replace: comment\n"
         "-\n"
         "replace: displayName\n"
         "displayName:\n"
         "-\n"
         "\n"},
        {"modify with no modifications",
         {.dn = "CN=kim,DC=x", .kind = Kind::Modify},
         "dn: CN=kim,DC=x\nchangetype: modify\n\n"},
        {"modify of the RootDSE: an empty dn",
         {.dn = "", .kind = Kind::Modify, .modifications = {{Op::Add, "schemaUpdateNow", {"1"}}}},
         "dn:\nchangetype: modify\nadd: schemaUpdateNow\nschemaUpdateNow: 1\n-\n\n"},
        {"add: the operation is ignored, an attribute with no values writes nothing",
         {.dn = "CN=new,DC=x",
          .kind = Kind::Add,
          .modifications = {{Op::Delete, "objectClass", {"top", "user"}},
                            {Op::Replace, "cn", {"new"}},
                            {Op::Add, "description", {}},
                            {Op::Add, "sAMAccountName", {" spaced"}}}},
         "dn: CN=new,DC=x\n"
         "changetype: add\n"
         "objectClass: top\n"
         "objectClass: user\n"
         "cn: new\n"
         "sAMAccountName:: IHNwYWNlZA==\n"
         "\n"},
        {"delete",
         {.dn = "CN=old,DC=x", .kind = Kind::Delete},
         "dn: CN=old,DC=x\nchangetype: delete\n\n"},
        {"delete ignores modifications",
         {.dn = "CN=old,DC=x", .kind = Kind::Delete, .modifications = {{Op::Add, "cn", {"x"}}}},
         "dn: CN=old,DC=x\nchangetype: delete\n\n"},
        {"moddn: rename, old RDN removed, parent kept",
         {.dn = "CN=kim,DC=x", .kind = Kind::ModDn, .newRdn = "CN=kimberly"},
         "dn: CN=kim,DC=x\nchangetype: moddn\nnewrdn: CN=kimberly\ndeleteoldrdn: 1\n\n"},
        {"moddn: move, old RDN kept",
         {.dn = "CN=kim,OU=A,DC=x",
          .kind = Kind::ModDn,
          .newRdn = "CN=kim",
          .deleteOldRdn = false,
          .newSuperior = "OU=B,DC=x"},
         "dn: CN=kim,OU=A,DC=x\nchangetype: moddn\nnewrdn: CN=kim\ndeleteoldrdn: 0\n"
         "newsuperior: OU=B,DC=x\n\n"},
        {"moddn: an empty newsuperior is the root",
         {.dn = "DC=x", .kind = Kind::ModDn, .newRdn = "DC=y", .newSuperior = ""},
         "dn: DC=x\nchangetype: moddn\nnewrdn: DC=y\ndeleteoldrdn: 1\nnewsuperior:\n\n"},
        {"moddn: non-ASCII names are base64",
         {.dn = "CN=Zo\xc3\xab,OU=\xc3\x9cnits,DC=x",
          .kind = Kind::ModDn,
          .newRdn = "cn=J\xc3\xbcrgen",
          .newSuperior = "OU=\xc3\x9cnits,DC=x"},
         "dn:: Q049Wm/DqyxPVT3DnG5pdHMsREM9eA==\nchangetype: moddn\n"
         "newrdn:: Y249SsO8cmdlbg==\ndeleteoldrdn: 1\nnewsuperior:: T1U9w5xuaXRzLERDPXg=\n\n"},
        {"a long dn is folded",
         {.dn = longDn, .kind = Kind::Delete},
         "dn: CN=A rather long common name for folding,OU=Some Unit,OU=Another Unit,DC\n"
         " =homelab,DC=net\n"
         "changetype: delete\n\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(shown(ldifRecord(row.change)), shown(row.text)) << row.what;
    }
}

TEST(LdifWriter, Controls) {
    struct Row {
        ServerControls controls;
        std::string lines;  // between the dn line and the changetype line
    };
    const std::vector<Row> rows = {
        {{}, ""},
        {{{"1.2.840.113556.1.4.805", "", true}}, "control: 1.2.840.113556.1.4.805 true\n"},
        {{{"1.2.840.113556.1.4.805", "", false}}, "control: 1.2.840.113556.1.4.805 false\n"},
        {{{"1.2.3", "abc", true}}, "control: 1.2.3 true: abc\n"},
        {{{"1.2.3", "a b", false}}, "control: 1.2.3 false: a b\n"},
        {{{"1.2.840.113556.1.4.801", "\x30\x03\x02\x01\x04"s, true}},
         "control: 1.2.840.113556.1.4.801 true:: MAMCAQQ=\n"},
        {{{"1.2.3", " x", true}}, "control: 1.2.3 true:: IHg=\n"},
        {{{"1.2.3", "", true}, {"1.2.4", "v", false}},
         "control: 1.2.3 true\ncontrol: 1.2.4 false: v\n"},
        {{{"1.2.3", std::string(60, 'v'), true}},
         "control: 1.2.3 true: " + std::string(55, 'v') + "\n " + std::string(5, 'v') + "\n"},
    };
    for (const auto& row : rows) {
        const LdifChange change{.dn = "CN=x", .kind = Kind::Delete, .controls = row.controls};
        EXPECT_EQ(shown(ldifRecord(change)),
                  shown("dn: CN=x\n" + row.lines + "changetype: delete\n\n"))
            << row.lines;
    }
}

TEST(LdifWriter, CommentsStayComments) {
    struct Row {
        std::vector<std::string> comments;
        std::string lines;  // before the dn line
    };
    const std::vector<Row> rows = {
        {{}, ""},
        {{"plain"}, "# plain\n"},
        {{""}, "#\n"},
        {{"one", "two"}, "# one\n# two\n"},
        {{"a\nb"}, "# a\n# b\n"},
        {{"a\r\nb"}, "# a\n# b\n"},
        {{"a\rb"}, "# a\n# b\n"},
        {{"a\n\nb"}, "# a\n#\n# b\n"},
        {{"a\n\r\nb"}, "# a\n#\n# b\n"},
        {{"trailing\n"}, "# trailing\n#\n"},
        {{"x\ndn: CN=evil\nchangetype: delete\n\ndn: CN=y"},
         "# x\n# dn: CN=evil\n# changetype: delete\n#\n# dn: CN=y\n"},
        {{"\n leading space"}, "#\n#  leading space\n"},
        {{"nul\0esc\x1b[2Jbell\a"s}, "# nul?esc?[2Jbell?\n"},
        {{"tab\there"}, "# tab\there\n"},
        {{"del\x7f c1\xc2\x85\xc2\x9b[2J \xc2\xa0"}, "# del? c1??[2J \xc2\xa0\n"},
        {{"caf\xc3\xa9"}, "# caf\xc3\xa9\n"},
        {{std::string(100, 'c')}, "# " + std::string(100, 'c') + "\n"},  // never folded
    };
    for (const auto& row : rows) {
        const LdifChange change{.dn = "CN=x", .kind = Kind::Delete, .comments = row.comments};
        EXPECT_EQ(shown(ldifRecord(change)), shown(row.lines + "dn: CN=x\nchangetype: delete\n\n"))
            << row.lines;
    }
}

TEST(LdifWriter, RecordsThatCannotBeWrittenGiveNothing) {
    struct Row {
        std::string what;
        LdifChange change;
    };
    const std::vector<Row> rows = {
        {"modify attribute with a line break",
         {.dn = "CN=x", .modifications = {{Op::Replace, "description\ndn", {"v"}}}}},
        {"add attribute with a colon",
         {.dn = "CN=x", .kind = Kind::Add, .modifications = {{Op::Add, "cn:", {"v"}}}}},
        {"empty attribute", {.dn = "CN=x", .modifications = {{Op::Delete, "", {}}}}},
        {"a bad attribute even where the kind ignores it",
         {.dn = "CN=x", .kind = Kind::Delete, .modifications = {{Op::Add, "a b", {}}}}},
        {"control OID with a blank",
         {.dn = "CN=x", .kind = Kind::Delete, .controls = {{"1.2 false", "", true}}}},
        {"empty control OID", {.dn = "CN=x", .kind = Kind::Delete, .controls = {{"", "", true}}}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(shown(ldifRecord(row.change)), shown(std::nullopt)) << row.what;
    }
}

}  // namespace
}  // namespace kestrel
