// Test helper: prints a fixed LDIF file through the writer, for the suite that has
// ldapmodify parse it (tests/e2e/ldif_parse_test.sh holds what each record must read as).
#include <cstdio>
#include <string>
#include <vector>

#include "ldif/ldif_writer.h"

using kestrel::LdifChange;
using Op = kestrel::ModOperation;
using Kind = LdifChange::Kind;
using namespace std::string_literals;

int main() {
    // S-1-5-21-3623811015-3361044348-30300820-1013 in its binary layout.
    const std::string sid =
        "\x01\x05\x00\x00\x00\x00\x00\x05\x15\x00\x00\x00\xc7\xf7\xfe\xd7"
        "\x7c\x77\x55\xc8\x94\x5a\xce\x01\xf5\x03\x00\x00"s;
    // "description: " and 63 characters fill the first line, so this value is folded
    // between its two spaces.
    const std::string folded = std::string(62, 'a') + "  " + std::string(36, 'b');
    const std::vector<LdifChange> changes = {
        {.dn = "CN=Kim Ng,OU=Staff,DC=homelab,DC=net",
         .kind = Kind::Modify,
         .modifications = {{Op::Add, "sIDHistory", {sid}},
                           {Op::Replace,
                            "description",
                            {folded, " leading space", "two\nlines", "caf\xc3\xa9", ""}},
                           {Op::Delete, "info", {}},
                           {Op::Delete, "otherTelephone", {"555-0100"}}},
         .comments = {"target 1 of 4", "a comment\ndn: CN=not a record"}},
        {.dn = "CN=Zo\xc3\xab,OU=Staff,DC=homelab,DC=net",
         .kind = Kind::Add,
         .modifications = {{Op::Add, "objectClass", {"top", "user"}},
                           {Op::Add, "cn", {"Zo\xc3\xab"}},
                           {Op::Add, "sAMAccountName", {"zoe"}}}},
        {.dn = "OU=Old,DC=homelab,DC=net",
         .kind = Kind::Delete,
         .controls = {{"1.2.840.113556.1.4.805", "", true}}},
        {.dn = "CN=Kim Ng,OU=Staff,DC=homelab,DC=net",
         .kind = Kind::ModDn,
         .newRdn = "CN=Kim Ng-Smith",
         .newSuperior = "OU=\xc3\x89lite,DC=homelab,DC=net"},
        {.dn = "DC=old,DC=net",
         .kind = Kind::ModDn,
         .newRdn = "DC=\xc3\xa9t\xc3\xa9",
         .deleteOldRdn = false,
         .newSuperior = ""},
    };
    std::string text = "version: 1\n";
    for (const auto& change : changes) {
        const auto record = kestrel::ldifRecord(change);
        if (!record) {
            std::fprintf(stderr, "ldif_sample: a record could not be written\n");
            return 1;
        }
        text += *record;
    }
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
