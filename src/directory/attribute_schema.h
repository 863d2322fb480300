// What the directory's schema says about attribute names: the name a server answers with
// (its lDAPDisplayName, whatever spelling or OID a request used), how an attribute's values
// compare, and which attributes no client can write (system-only or constructed). Only what
// a run needs is read: a whole schema is some 1,500 definitions, read in pages.
#pragma once

#include <map>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "directory/ldap_client.h"

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
    AttributeSchema() = default;
    // The schema below `schemaNamingContext`; empty: the server names none, nothing is read.
    explicit AttributeSchema(std::string schemaNamingContext)
        : schemaNamingContext_(std::move(schemaNamingContext)) {}

    // Reads, in one search, the definitions not asked for before of the attributes
    // `modifications` name by OID and, with `withSyntax`, of those named by name too (a name
    // is answered under its own spelling, case aside, so only its syntax needs the schema).
    // Non-zero: they could not be read; those names are then only folded (see canonical),
    // their syntax unknown, and not asked for again.
    int learn(LdapConnection& connection, std::span<const Modification> modifications,
              bool withSyntax, std::string& why);

    // Adds to `names` the lower-case display names of the system-only and constructed
    // attributes, all pages of them. Non-zero: they could not be read.
    int readNotWritable(LdapConnection& connection, std::set<std::string>& names,
                        std::string& why) const;

    // The lower-case lDAPDisplayName for a name, an OID or either with options
    // ("2.5.4.13", "Description;binary" -> "description"); an unknown name folded only.
    std::string canonical(const std::string& attribute) const;

    // How the values of `attribute` (any name canonical takes) compare.
    ValueSyntax syntax(const std::string& attribute) const;

    void addName(const std::string& oid, const std::string& displayName,
                 ValueSyntax syntax = ValueSyntax::Unknown);

  private:
    // Every page of the attributeSchema objects below the schema that match `filter`.
    int readDefinitions(LdapConnection& connection, const std::string& filter,
                        std::vector<std::string> attributes, std::vector<LdapEntry>& entries,
                        std::string& why) const;

    std::string schemaNamingContext_;
    std::map<std::string, std::string> names_;     // lower-case OID or name -> display name
    std::map<std::string, ValueSyntax> syntaxes_;  // display name -> how its values compare
    std::set<std::string> asked_;                  // OIDs and names whose definition was asked for
};

}  // namespace kestrel
