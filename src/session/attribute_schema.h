// What the directory's schema says about attribute names: the name a server answers with
// (its lDAPDisplayName, whatever spelling or OID a request used) and which attributes no
// client can write (system-only or constructed).
#pragma once

#include <map>
#include <set>
#include <string>

#include "session/ldap_client.h"

namespace kestrel {

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

    void addName(const std::string& oid, const std::string& displayName);

  private:
    std::map<std::string, std::string> names_;  // lower-case OID or name -> display name
    std::set<std::string> notWritable_;
};

}  // namespace kestrel
