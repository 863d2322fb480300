// The LDIF reader over libldap's: each record kind as the seam's values, and every refusal
// with the line it names.
#include "ldif/ldif_reader.h"

#include <gtest/gtest.h>
#include <lber.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fake_ldap.h"

// ldif.h uses FILE without including its header.
#include <ldif.h>

namespace kestrel {
namespace {

using Lines = std::vector<std::string>;

// One line per record, in the fake's words for what would be sent, and the record's line.
std::string describe(const LdifRecord& record) {
    std::string text = std::to_string(record.line) + " ";
    switch (record.kind) {
        case LdifRecord::Kind::Add:
            text += "add";
            break;
        case LdifRecord::Kind::Modify:
            text += "modify";
            break;
        case LdifRecord::Kind::Delete:
            text += "delete";
            break;
        case LdifRecord::Kind::ModDn:
            text += "moddn";
            break;
    }
    text += " [" + record.dn + "]";
    if (!record.controls.empty()) {
        text += " controls=" + fake::describe(record.controls);
    }
    if (record.kind == LdifRecord::Kind::ModDn) {
        text += " rdn=[" + record.newRdn + "] parent=[" + record.newSuperior +
                "] deleteOld=" + (record.deleteOldRdn ? "1" : "0");
    }
    for (const Modification& modification : record.modifications) {
        text += "; " + fake::describe(modification);
    }
    return text;
}

Lines read(const std::string& text, bool entriesAreAdds = false) {
    const LdifReadResult result = readLdifRecords(text, entriesAreAdds);
    EXPECT_TRUE(result.ok) << "line " << result.problem.line << ": " << result.problem.reason;
    Lines lines;
    for (const LdifRecord& record : result.records) {
        lines.push_back(describe(record));
    }
    return lines;
}

TEST(LdifReaderTest, EachRecordKindAsTheSeamSendsIt) {
    struct Row {
        const char* what;
        std::string text;
        bool entriesAreAdds;
        Lines records;
    };
    const std::vector<Row> rows = {
        {"add, with a base64 value and an attribute given twice",
         "dn: cn=a,dc=x\nchangetype: add\nobjectClass: top\nobjectClass: contact\n"
         "description:: Q2Fmw6k=\ncn: a\nobjectClass: person\n",
         false,
         {"1 add [cn=a,dc=x]; 0x0 objectClass [top|contact|person]; 0x0 description [Caf\xc3\xa9]"
          "; 0x0 cn [a]"}},
        {"modify: add, remove a value, clear, replace with none, folded value and DN",
         "dn: cn=a,\n dc=x\nchangetype: modify\nadd: mail\nmail: a@x\n-\ndelete: phone\n"
         "phone: 1\n-\ndelete: info\n-\nreplace: title\n-\nreplace: description\n"
         "description: one\n  two\n-\n",
         false,
         {"1 modify [cn=a,dc=x]; 0x0 mail [a@x]; 0x1 phone [1]; 0x1 info (null); "
          "0x2 title []; 0x2 description [one two]"}},
        {"delete with a control without a value, and one with a base64 value",
         "dn: cn=a,dc=x\ncontrol: 1.2.840.113556.1.4.805 true\nchangetype: delete\n\n"
         "dn: cn=b,dc=x\ncontrol: 1.2.3 false:: AAE=\nchangetype: delete\n",
         false,
         {"1 delete [cn=a,dc=x] controls=[1.2.840.113556.1.4.805 critical value=]",
          "5 delete [cn=b,dc=x] controls=[1.2.3 noncritical value=0001]"}},
        {"moddn with a new superior, modrdn keeping the old RDN",
         "dn: cn=a,ou=s,dc=x\nchangetype: moddn\nnewrdn: cn=a\ndeleteoldrdn: 1\n"
         "newsuperior: ou=t,dc=x\n\ndn: cn=b,dc=x\nchangetype: modrdn\nnewrdn: cn=c\n"
         "deleteoldrdn: 0\n",
         false,
         {"1 moddn [cn=a,ou=s,dc=x] rdn=[cn=a] parent=[ou=t,dc=x] deleteOld=1",
          "7 moddn [cn=b,dc=x] rdn=[cn=c] parent=[] deleteOld=0"}},
        {"an entry is an add when entries are adds",
         "dn: cn=e,dc=x\nobjectClass: contact\n",
         true,
         {"1 add [cn=e,dc=x]; 0x0 objectClass [contact]"}},
        {"a value holding a zero byte is sent length-counted",
         "dn: cn=a,dc=x\nchangetype: modify\nreplace: blob\nblob:: AP8=\n-\n",
         false,
         {"1 modify [cn=a,dc=x]; 0x82 blob [00ff]"}},
        {"version, comments, CRLF, blank lines: each record names its first line",
         "version: 1\r\n\r\n# a comment\r\n#  folded on\r\n  here\r\ndn: cn=a,dc=x\r\n"
         "changetype: delete\r\n\r\n\r\n# only a comment\r\n\r\n# above\r\ndn:: "
         "Y249WsO2LGRjPXg=\r\n"
         "# inside\r\nchangetype: delete\r\n",
         false,
         {"6 delete [cn=a,dc=x]", "13 delete [cn=Z\xc3\xb6,dc=x]"}},
        {"nothing at all", "", false, {}},
        {"comments only", "# nothing\n# here\n", false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(read(row.text, row.entriesAreAdds), row.records);
    }
}

TEST(LdifReaderTest, RefusesWithTheLineAndNothingElse) {
    using Kind = LdifProblem::Kind;
    struct Row {
        std::string text;
        bool entriesAreAdds;
        Kind kind;
        unsigned long line;
        std::string reason;  // the start of it
    };
    const std::string ok = "dn: cn=ok,dc=x\nchangetype: delete\n\n";
    std::vector<Row> rows = {
        {ok + "dn: cn=e,dc=x\nobjectClass: contact\n", false, Kind::NoChangeType, 4,
         "an entry without a changetype"},
        {ok + "dn: cn=e,dc=x\ncontrol: 1.2.3\nobjectClass: contact\n", false, Kind::NoChangeType, 4,
         "an entry without"},
        {ok + "# c\ndn: cn=d,dc=x\nchangetype: bogus\n", false, Kind::Malformed, 5,
         "unknown changetype \"bogus\""},
        {ok + "dn: cn=d,dc=x\nchangetype: moddn\ndeleteoldrdn: 1\n", false, Kind::Malformed, 4,
         "expecting \"newrdn:\""},
        {ok + "dn: cn=d,dc=x\nchangetype: modify\nreplace: a\nb: 1\n-\n", false, Kind::Malformed, 4,
         "wrong attributeType"},
        {ok + "dn: cn=d,dc=x\nchangetype: modify\nreplace: a\na:: !!!\n-\n", false, Kind::Malformed,
         4, "invalid format"},
        {ok + "dn: cn=d,dc=x\ncontrol: 1.2.3 true\ncontrol: 1.2.4 true\nchangetype: delete\n",
         false, Kind::Malformed, 4, ""},
        {ok + "dn: cn=d,dc=x\ncontrol: true\nchangetype: delete\n", false, Kind::Malformed, 4,
         "Error processing control line"},
        {ok + "objectClass: top\ncn: x\n", true, Kind::Malformed, 4, "the record has no dn:"},
        {ok + "dn: cn=d,dc=x\nchangetype: modify\nreplace: a\na:< file:///etc/passwd\n-\n", false,
         Kind::ReadsFile, 7, "the value of a would be read from a URL"},
        {ok + "dn: cn=d,dc=x\nchangetype: modify\nreplace: a\na: 1\n-\nreplace: b\n"
              "b\n :< file:///etc/passwd\n-\n",
         false, Kind::ReadsFile, 10, "the value of b would be read from a URL"},
        {ok + "dn:< file:///etc/hostname\nchangetype: delete\n", false, Kind::ReadsFile, 4,
         "the value of dn would"},
        {ok + "dn: cn=d,dc=x\ncontrol: 1.2.3 true:< file:///etc/passwd\nchangetype: delete\n",
         false, Kind::ReadsFile, 5, "the control's value would be read from a URL"},
        {ok + "dn: cn=d,dc=x\ncontrol:: MS4yLjMgdHJ1ZTo8IGZpbGU6Ly8vZXRjL3Bhc3N3ZA==\n"
              "changetype: delete\n",
         false, Kind::ReadsFile, 5, "the control's value"},
        {ok + "# c\ninclude: file:///etc/other.ldif\n", false, Kind::ReadsFile, 5,
         "an include: line"},
        {ok + "1\ndn: cn=d,dc=x\nchangetype: delete\n", false, Kind::Malformed, 4,
         "a record cannot begin with a number"},
        {ok + "dn: cn=d,dc=x\nchangetype: modify\nreplace: a\na: x" + std::string(1, '\0') +
             "y\n-\n",
         false, Kind::Malformed, 7, "a zero byte"},
        {ok + "dn: cn=d,dc=x\nchangetype: modify\nincrement: n\nn: 1\n-\n", false,
         Kind::NotSendable, 4, "increment: n cannot be sent"},
        {ok + "dn: cn=d,dc=x\nchangetype: moddn\nnewrdn: cn=e\ndeleteoldrdn: 1\nnewsuperior:\n",
         false, Kind::NotSendable, 4, "an empty newsuperior"},
        {ok + "dn:: Y249ZABlLGRjPXg=\nchangetype: delete\n", false, Kind::NotSendable, 4,
         "the DN holds a zero byte"},
        // What libldap's own record parser crashed on or sent with an empty name.
        {ok + "dn: cn=d,dc=x\nchangetype: add\n: x\n", false, Kind::Malformed, 4,
         "an attribute without a name (line 6"},
        {ok + "dn: cn=d,dc=x\n-\n", true, Kind::Malformed, 4,
         "missing attributeDescription (line 5"},
        {ok + "dn: cn=d,dc=x\nchangetype: add\n-\ncn: d\n", false, Kind::Malformed, 4,
         "missing attributeDescription (line 6"},
        {ok + "dn: cn=d,dc=x\nchangetype: add\ncn: d\n\t: x\n", false, Kind::Malformed, 4,
         "an attribute without a name (line 7"},
        {ok + "dn: cn=d,dc=x\nchangetype: modify\nreplace:\n-\n", false, Kind::Malformed, 4,
         "\"replace:\" names no attribute (line 6"},
        {ok + "dn: cn=d,dc=x\nchangetype: moddn\nnewrdn:\ndeleteoldrdn: 1\n", false,
         Kind::Malformed, 4, "an empty newrdn (line 6"},
        // Lines libldap skipped or dropped in silence.
        {ok + "cn: d\ndn: cn=d,dc=x\nchangetype: delete\n", false, Kind::Malformed, 4,
         "expecting \"dn:\" but saw \"cn:\" (line 4)"},
        {ok + "dn: cn=d,dc=x\nchangetype: add\ncn: d\ndn: cn=e,dc=x\n", false, Kind::Malformed, 4,
         "a second dn: line"},
        {ok + "dn: cn=d,dc=x\nchangetype: modify\nadd: mail\n-\n", false, Kind::Malformed, 4,
         "\"add: mail\" without a value (line 6"},
        // The whole of libldap's reason, through its own message hook.
        {ok + "dn: cn=d,dc=x\nchangetype: modify\nreplace: a\na:: !!!\n-\n", false, Kind::Malformed,
         4,
         "invalid format (line 7) entry: \"cn=d,dc=x\": ldap_pvt_decode_b64_inplace: invalid "
         "base64 encoding char (!) 0x21; ldif_parse_line: a base64 decode failed"},
    };
    for (const char* value : {"2", "false", "no", "", "00", "0abc", "1 "}) {
        rows.push_back({ok + "dn: cn=d,dc=x\nchangetype: modrdn\nnewrdn: cn=e\ndeleteoldrdn:" +
                            (*value == '\0' ? "" : " ") + value + "\n",
                        false, Kind::Malformed, 4, "deleteoldrdn takes 0 or 1"});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        testing::internal::CaptureStderr();
        const LdifReadResult result = readLdifRecords(row.text, row.entriesAreAdds);
        // libldap's own complaints go into the reason, never straight to standard error.
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.records.empty());
        EXPECT_EQ(result.problem.kind, row.kind);
        EXPECT_EQ(result.problem.line, row.line);
        EXPECT_EQ(result.problem.reason.rfind(row.reason, 0), 0u) << result.problem.reason;
        EXPECT_EQ(result.problem.reason.find('\n'), std::string::npos);
    }
}

// With libldap's debugging on, as a program embedding it may set it, its messages still go
// whole into the refusal and never to standard error, a second bad text is read as safely
// as the first, and the library's print hook and level are left as they were.
TEST(LdifReaderTest, LibraryMessagesStayOffStandardError) {
    void* hookBefore = nullptr;
    ber_get_option(nullptr, LBER_OPT_LOG_PRINT_FN, &hookBefore);
    const int levelBefore = ldif_debug;
    ldif_debug = -1;
    testing::internal::CaptureStderr();
    for (int text = 0; text < 2; ++text) {
        EXPECT_EQ(readLdifRecords("dn: cn=d,dc=x\nchangetype: modify\nreplace: a\na:: !!!\n", false)
                      .problem.reason,
                  "invalid format (line 4) entry: \"cn=d,dc=x\": ldap_pvt_decode_b64_inplace: "
                  "invalid base64 encoding char (!) 0x21; ldif_parse_line: a base64 decode failed");
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    void* hookAfter = nullptr;
    ber_get_option(nullptr, LBER_OPT_LOG_PRINT_FN, &hookAfter);
    EXPECT_EQ(hookAfter, hookBefore);
    EXPECT_EQ(ldif_debug, -1);
    ldif_debug = levelBefore;
}

// What the program journals, read back: each record as it was written.
TEST(LdifReaderTest, ReadsTheWritersRecords) {
    const std::string journal =
        "# Undo of the delete of CN=a,OU=s,DC=x\n"
        "# Not restored, the server maintains them: objectCategory\n"
        "dn: CN=a\\0ADEL:1234,CN=Deleted Objects,DC=x\n"
        "control: 1.2.840.113556.1.4.417 true\n"
        "changetype: modify\n"
        "delete: isDeleted\n-\n"
        "replace: distinguishedName\ndistinguishedName: CN=a,OU=s,DC=x\n-\n"
        "replace: jpegPhoto\njpegPhoto:: /9j/\n-\n\n"
        "# A comment paragraph of its own\n\n";
    EXPECT_EQ(read(journal),
              (Lines{"3 modify [CN=a\\0ADEL:1234,CN=Deleted Objects,DC=x] controls=[1.2.840."
                     "113556.1.4.417 critical value=]; 0x1 isDeleted (null); 0x2 "
                     "distinguishedName [CN=a,OU=s,DC=x]; 0x2 jpegPhoto [\xff\xd8\xff]"}));
}

}  // namespace
}  // namespace kestrel
