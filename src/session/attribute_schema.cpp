#include "session/attribute_schema.h"

#include <algorithm>
#include <vector>

#include "session/complete_read.h"
#include "util/ascii_case.h"

namespace kestrel {
namespace {

// systemFlags bit 4: FLAG_ATTR_IS_CONSTRUCTED, computed by the server on every read;
// tested with the directory's bitwise-and matching rule. A boolean is matched as TRUE.
const char* const kNotWritableFilter =
    "(&(objectClass=attributeSchema)"
    "(|(systemOnly=TRUE)(systemFlags:1.2.840.113556.1.4.803:=4)))";

std::string firstValue(const LdapEntry& entry, const std::string& name) {
    const std::vector<std::string>* values = entry.values(name);
    return values != nullptr && !values->empty() ? values->front() : std::string();
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

}  // namespace

int AttributeSchema::learn(LdapConnection& connection, std::span<const Modification> modifications,
                           std::string& why) {
    std::string terms;
    for (const Modification& modification : modifications) {
        const std::string name = bareName(modification.attribute);
        if (isOid(name) && names_.count(name) == 0 && asked_.insert(name).second) {
            terms += "(attributeID=" + name + ")";
        }
    }
    if (terms.empty()) {
        return 0;
    }
    if (schemaNamingContext_.empty()) {
        why = "the server names no schema";
        return kLdapNoResultsReturned;
    }
    SearchRequest request;
    request.base = schemaNamingContext_;
    request.scope = kLdapScopeSubtree;
    request.filter = "(&(objectClass=attributeSchema)(|" + terms + "))";
    request.attributes = {"lDAPDisplayName", "attributeID"};
    std::vector<LdapEntry> entries;
    if (const int rc = readComplete(connection, request, entries, why); rc != 0) {
        return rc;
    }
    for (const LdapEntry& entry : entries) {
        if (const std::string name = firstValue(entry, "lDAPDisplayName"); !name.empty()) {
            addName(firstValue(entry, "attributeID"), name);
        }
    }
    return 0;
}

int AttributeSchema::readNotWritable(LdapConnection& connection, std::set<std::string>& names,
                                     std::string& why) const {
    if (schemaNamingContext_.empty()) {
        why = "the server names no schema";
        return kLdapNoResultsReturned;
    }
    SearchRequest request;
    request.base = schemaNamingContext_;
    request.scope = kLdapScopeSubtree;
    request.filter = kNotWritableFilter;
    request.attributes = {"lDAPDisplayName"};
    std::vector<LdapEntry> entries;
    if (const int rc = readComplete(connection, request, entries, why); rc != 0) {
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

void AttributeSchema::addName(const std::string& oid, const std::string& displayName) {
    const std::string name = asciiLower(displayName);
    names_[name] = name;
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

}  // namespace kestrel
