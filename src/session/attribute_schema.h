// What the directory's schema says about attribute names: the name a server answers with
// (its lDAPDisplayName, whatever spelling or OID a request used) and which attributes no
// client can write (system-only or constructed).
#pragma once

#include <map>
#include <set>
#include <string>

#include "session/ldap_client.h"

namespace kestrel {

// How the directory compares an attribute's values, from its attributeSyntax.
enum class ValueSyntax {
    Unknown,  // not in the schema, or the schema could not be read
    Dn,       // the values name objects (2.5.5.1)
    Exact,    // bytes or case-sensitive text: octet strings, SIDs, IA5, case-exact strings
    Text,     // text compared without case (every other syntax)
};

class AttributeSchema {
  public:
    // Reads every attributeSchema object below `schemaNamingContext`, all pages. Non-zero:
    // the schema could not be read (the names are then only folded, see canonical).
    int read(LdapConnection& connection, const std::string& schemaNamingContext, std::string& why);

    // The lower-case lDAPDisplayName for a name, an OID or either with options
    // ("2.5.4.13", "Description;binary" -> "description"); an unknown name folded only.
    std::string canonical(const std::string& attribute) const;

    // System-only or constructed attributes, lower-case display names.
    const std::set<std::string>& notWritable() const { return notWritable_; }

    // How the values of `attribute` (any name canonical takes) compare.
    ValueSyntax syntax(const std::string& attribute) const;

    void addName(const std::string& oid, const std::string& displayName,
                 ValueSyntax syntax = ValueSyntax::Unknown);

  private:
    std::map<std::string, std::string> names_;  // lower-case OID or name -> display name
    std::set<std::string> notWritable_;
    std::map<std::string, ValueSyntax> syntaxes_;  // display name -> how its values compare
};

}  // namespace kestrel
