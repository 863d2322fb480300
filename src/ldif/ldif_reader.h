// LDIF change records (RFC 2849), their lines read with libldap's own line reader, handed
// on as the seam's plain values: what -f and -revert apply.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "directory/ldap_client.h"

namespace kestrel {

struct LdifRecord {
    enum class Kind { Add, Delete, Modify, ModDn };
    Kind kind = Kind::Modify;
    std::string dn;  // empty: the RootDSE
    ServerControls controls;
    // Modify: the modifications in order. Add: the new entry's attributes (operation Add).
    // A modification is binary (sent length-counted) when a value holds a zero byte.
    std::vector<Modification> modifications;
    std::string newRdn;  // ModDn
    bool deleteOldRdn = true;
    std::string newSuperior;  // ModDn; empty: the parent stays
    unsigned long line = 0;   // the record's first line in the text (comments aside)
};

struct LdifProblem {
    enum class Kind {
        Malformed,     // not a change record as RFC 2849 writes it
        ReadsFile,     // a value from a URL (":<") or an "include:" line
        NoChangeType,  // an entry (no changetype) where only change records are taken
        NotSendable,   // valid LDIF that the seam cannot send as written
    };
    Kind kind = Kind::Malformed;
    unsigned long line = 0;
    std::string reason;  // one line, control characters escaped as "\x0A"
};

struct LdifReadResult {
    std::vector<LdifRecord> records;  // empty when there is a problem
    bool ok = true;
    LdifProblem problem;
};

// Every record of `text`, in order; comments and a "version:" line are skipped. A record
// without a changetype is an add when `entriesAreAdds`, refused otherwise. The first
// record that cannot be taken stops the reading: nothing of the text is returned then.
// Nothing is read from anywhere but `text`: a ":<" value or an "include:" line is refused.
// Each record is read once, in time linear in its size; nothing is written anywhere.
LdifReadResult readLdifRecords(std::string_view text, bool entriesAreAdds);

}  // namespace kestrel
