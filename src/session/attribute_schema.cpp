#include "session/attribute_schema.h"

#include <cstdlib>
#include <vector>

#include "session/complete_read.h"
#include "util/ascii_case.h"

namespace kestrel {
namespace {

// systemFlags bit 4: FLAG_ATTR_IS_CONSTRUCTED, computed by the server on every read.
constexpr long kConstructed = 4;

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

}  // namespace

int AttributeSchema::read(LdapConnection& connection, const std::string& schemaNamingContext,
                          std::string& why) {
    if (schemaNamingContext.empty()) {
        why = "the server names no schema";
        return kLdapNoResultsReturned;
    }
    SearchRequest request;
    request.base = schemaNamingContext;
    request.scope = kLdapScopeSubtree;
    request.filter = "(objectClass=attributeSchema)";
    request.attributes = {"lDAPDisplayName", "attributeID", "systemOnly", "systemFlags",
                          "attributeSyntax"};
    std::vector<LdapEntry> entries;
    if (const int rc = readComplete(connection, request, entries, why); rc != 0) {
        return rc;
    }
    for (const LdapEntry& entry : entries) {
        const std::string name = asciiLower(firstValue(entry, "lDAPDisplayName"));
        if (name.empty()) {
            continue;
        }
        addName(firstValue(entry, "attributeID"), name,
                syntaxOf(firstValue(entry, "attributeSyntax")));
        const std::string flags = firstValue(entry, "systemFlags");
        if (asciiLower(firstValue(entry, "systemOnly")) == "true" ||
            (std::strtol(flags.c_str(), nullptr, 10) & kConstructed) != 0) {
            notWritable_.insert(name);
        }
    }
    return 0;
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
    std::string name = asciiLower(attribute.substr(0, attribute.find(';')));
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
