// LDIF change records (RFC 2849): the text `ldapmodify` reads. Used to print the exact
// requests a run would send, and to journal records that reverse a run.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/ldap_client.h"

namespace kestrel {

struct LdifChange {
    enum class Kind { Modify, Add, Delete, ModDn };
    std::string dn{};  // any bytes; empty is the RootDSE
    Kind kind = Kind::Modify;
    // Modify: the modifications in order; a Delete or Replace with no values removes the
    // whole attribute. Add: the attributes of the new entry (the operation is ignored); one
    // with no values writes nothing, as an add cannot carry it. Values are written as they
    // are, whatever `binary` says.
    std::vector<Modification> modifications{};
    // ModDn only. An empty newSuperior is the root (the empty DN), written "newsuperior:";
    // no newSuperior keeps the parent.
    std::string newRdn{};
    bool deleteOldRdn = true;
    std::optional<std::string> newSuperior{};
    // Written after the dn line, in order. RFC 2849 allows several, but OpenLDAP 2.5's
    // ldapmodify reads only the first control line of a record and refuses the record.
    ServerControls controls{};
    // Written as comment lines (ldifComment) before the dn line.
    std::vector<std::string> comments{};
};

// True when `name` is an RFC 2849 AttributeDescription: a name (a letter, then letters,
// digits and hyphens) or a numeric OID, then any ";option"s of letters, digits and hyphens.
bool isLdifAttributeDescription(std::string_view name);

// True when `oid` is a numeric OID: decimal numbers joined by single dots.
bool isLdifOid(std::string_view oid);

// The line "name: value", "name:" for an empty value, or "name:: <base64>", folded and
// ending with a newline. A value is written as text only when it is printable ASCII that
// does not begin with a space, ":" or "<" and does not end with a space; anything else
// (control characters, non-ASCII UTF-8, binary) is base64. Lines longer than 76 characters
// are folded: a newline and one space, each continuation carrying 75 characters.
// Nothing when `name` is not an attribute description.
std::optional<std::string> ldifAttrValue(std::string_view name, std::string_view value);

// The text of one change record, ending with an empty line: comments, the dn, the
// controls, "changetype: modify|add|delete|moddn" and the body, folded as above.
// Nothing when an attribute in `modifications` is not an attribute description or a
// control OID is not numeric: written as they are, either could change what the record says.
std::optional<std::string> ldifRecord(const LdifChange& change);

}  // namespace kestrel
