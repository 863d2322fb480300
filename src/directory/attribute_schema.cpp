#include "directory/attribute_schema.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "directory/complete_read.h"
#include "util/ascii_case.h"

namespace kestrel {
namespace {

// systemFlags bit 4: FLAG_ATTR_IS_CONSTRUCTED, computed by the server on every read;
// tested with the directory's bitwise-and matching rule. A boolean is matched as TRUE.
const char* const kNotWritableFlags = "(|(systemOnly=TRUE)(systemFlags:1.2.840.113556.1.4.803:=4))";

std::string firstValue(const LdapEntry& entry, const std::string& name) {
    const std::vector<std::string>* values = entry.values(name);
    return values != nullptr && !values->empty() ? values->front() : std::string();
}

ValueSyntax syntaxOf(const std::string& attributeSyntax) {
    if (attributeSyntax == "2.5.5.1") {
        return ValueSyntax::Dn;
    }
    // Case-sensitive string, IA5 string, octet string, SID.
    for (const char* exact : {"2.5.5.3", "2.5.5.5", "2.5.5.10", "2.5.5.17"}) {
        if (attributeSyntax == exact) {
            return ValueSyntax::Exact;
        }
    }
    return attributeSyntax.empty() ? ValueSyntax::Unknown : ValueSyntax::Text;
}

std::string bareName(const std::string& attribute) {
    return asciiLower(attribute.substr(0, attribute.find(';')));
}

// A numeric OID ("2.5.4.13"): the one form an attribute description may take that does
// not start with a letter. Digits and dots only, so it goes into a filter as it is.
bool isOid(const std::string& name) {
    return !name.empty() && name.front() >= '0' && name.front() <= '9' &&
           std::all_of(name.begin(), name.end(),
                       [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

// A descriptor ("description", "msDS-X"): letters, digits and hyphens, so it too goes into
// a filter as it is; anything else is never asked for.
bool isDescriptor(const std::string& name) {
    return !name.empty() && std::isalpha(static_cast<unsigned char>(name.front())) != 0 &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return c == '-' || std::isalnum(static_cast<unsigned char>(c)) != 0;
           });
}

}  // namespace

int AttributeSchema::learn(LdapConnection& connection, std::span<const Modification> modifications,
                           bool withSyntax, std::string& why) {
    std::string terms;
    for (const Modification& modification : modifications) {
        const std::string name = bareName(modification.attribute);
        if (isOid(name) && names_.count(name) == 0 && asked_.insert(name).second) {
            terms += "(attributeID=" + name + ")";
        } else if (withSyntax && isDescriptor(name) && syntaxes_.count(canonical(name)) == 0 &&
                   asked_.insert(name).second) {
            terms += "(lDAPDisplayName=" + name + ")";
        }
    }
    if (terms.empty()) {
        return 0;
    }
    std::vector<LdapEntry> entries;
    if (const int rc =
            readDefinitions(connection, "(|" + terms + ")",
                            {"lDAPDisplayName", "attributeID", "attributeSyntax"}, entries, why);
        rc != 0) {
        return rc;
    }
    for (const LdapEntry& entry : entries) {
        if (const std::string name = firstValue(entry, "lDAPDisplayName"); !name.empty()) {
            addName(firstValue(entry, "attributeID"), name,
                    syntaxOf(firstValue(entry, "attributeSyntax")));
        }
    }
    return 0;
}

int AttributeSchema::readNotWritable(LdapConnection& connection, std::set<std::string>& names,
                                     std::string& why) const {
    std::vector<LdapEntry> entries;
    if (const int rc =
            readDefinitions(connection, kNotWritableFlags, {"lDAPDisplayName"}, entries, why);
        rc != 0) {
        return rc;
    }
    for (const LdapEntry& entry : entries) {
        if (const std::string name = asciiLower(firstValue(entry, "lDAPDisplayName"));
            !name.empty()) {
            names.insert(name);
        }
    }
    return 0;
}

int AttributeSchema::readDefinitions(LdapConnection& connection, const std::string& filter,
                                     std::vector<std::string> attributes,
                                     std::vector<LdapEntry>& entries, std::string& why) const {
    if (schemaNamingContext_.empty()) {
        why = "the server names no schema";
        return kLdapNoResultsReturned;
    }
    SearchRequest request;
    request.base = schemaNamingContext_;
    request.scope = kLdapScopeSubtree;
    request.filter = "(&(objectClass=attributeSchema)" + filter + ")";
    request.attributes = std::move(attributes);
    return readComplete(connection, request, entries, why);
}

void AttributeSchema::addName(const std::string& oid, const std::string& displayName,
                              ValueSyntax syntax) {
    const std::string name = asciiLower(displayName);
    names_[name] = name;
    if (syntax != ValueSyntax::Unknown) {
        syntaxes_[name] = syntax;
    }
    if (!oid.empty()) {
        names_[asciiLower(oid)] = name;
    }
}

std::string AttributeSchema::canonical(const std::string& attribute) const {
    std::string name = bareName(attribute);
    if (const auto found = names_.find(name); found != names_.end()) {
        return found->second;
    }
    return name;
}

ValueSyntax AttributeSchema::syntax(const std::string& attribute) const {
    const auto found = syntaxes_.find(canonical(attribute));
    return found != syntaxes_.end() ? found->second : ValueSyntax::Unknown;
}

}  // namespace kestrel
