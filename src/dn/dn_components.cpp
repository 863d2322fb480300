#include "dn/dn_components.h"

#include <ldap.h>

#include <cstddef>
#include <cstring>
#include <memory>

#include "util/ascii_case.h"

namespace kestrel {
namespace {

// libldap's reading of a DN, released with its own call.
struct DnFree {
    void operator()(LDAPDN dn) const { ldap_dnfree(dn); }
};
using ParsedDn = std::unique_ptr<LDAPRDN, DnFree>;

ParsedDn parseDn(const std::string& dn) {
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAP) != LDAP_SUCCESS) {
        return nullptr;
    }
    return ParsedDn(parsed);
}

std::size_t rdnCount(const ParsedDn& dn) {
    std::size_t count = 0;
    while (dn != nullptr && dn.get()[count] != nullptr) {
        ++count;
    }
    return count;
}

bool sameBytes(const berval& a, const berval& b) {
    return a.bv_len == b.bv_len &&
           (a.bv_len == 0 || std::memcmp(a.bv_val, b.bv_val, a.bv_len) == 0);
}

// True when `component`, read on its own, is exactly the RDN libldap read in place: the
// same attribute types and values in the same order. Equal counts alone are not enough:
// libldap reads ";" after a type as an option and a quote inside a value as a character,
// so a cut in the wrong place can still give the right number of pieces.
bool meansSameRdn(const std::string& component, LDAPRDN expected) {
    LDAPRDN alone = nullptr;
    char* next = nullptr;
    if (ldap_str2rdn(component.c_str(), &alone, &next, LDAP_DN_FORMAT_LDAP) != LDAP_SUCCESS) {
        return false;
    }
    constexpr unsigned kFormatFlags = LDAP_AVA_STRING | LDAP_AVA_BINARY | LDAP_AVA_NONPRINTABLE;
    bool same = next != nullptr && *next == '\0';
    std::size_t i = 0;
    for (; same && alone[i] != nullptr && expected[i] != nullptr; ++i) {
        same = sameBytes(alone[i]->la_attr, expected[i]->la_attr) &&
               sameBytes(alone[i]->la_value, expected[i]->la_value) &&
               (alone[i]->la_flags & kFormatFlags) == (expected[i]->la_flags & kFormatFlags);
    }
    same = same && alone[i] == nullptr && expected[i] == nullptr;
    ldap_rdnfree(alone);
    return same;
}

// The blanks libldap allows around separators and "=".
bool isLooseBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Collects the characters of one component. Blanks around a separator are not part of
// the name (libldap drops them too); an escaped blank is, so the end is only moved past
// characters that are not loose blanks.
class ComponentText {
  public:
    void addRaw(char c) {
        if (text_.empty() && isLooseBlank(c)) {
            return;
        }
        text_ += c;
        if (!isLooseBlank(c)) {
            end_ = text_.size();
        }
    }

    void addEscaped(char backslash, char c) {
        text_ += backslash;
        text_ += c;
        end_ = text_.size();
    }

    std::string take() {
        text_.resize(end_);
        std::string result = std::move(text_);
        text_.clear();
        end_ = 0;
        return result;
    }

  private:
    std::string text_;
    std::size_t end_ = 0;
};

}  // namespace

std::optional<std::vector<std::string>> explodeDn(const std::string& dn) {
    if (dn.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    const ParsedDn parsed = parseDn(dn);
    if (rdnCount(parsed) == 0) {
        return std::nullopt;
    }

    std::vector<std::string> components;
    ComponentText current;
    bool quoted = false;
    for (std::size_t i = 0; i < dn.size(); ++i) {
        const char c = dn[i];
        if (c == '\\' && i + 1 < dn.size()) {
            current.addEscaped(c, dn[++i]);
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ',' || c == ';')) {
            components.push_back(current.take());
            continue;
        }
        current.addRaw(c);
    }
    components.push_back(current.take());

    // The cut must agree with the library's reading; if it does not, the text is not
    // one this program can take apart safely.
    if (components.size() != rdnCount(parsed)) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (!meansSameRdn(components[i], parsed.get()[i])) {
            return std::nullopt;
        }
    }
    return components;
}

std::string parentDn(const std::vector<std::string>& components) {
    std::string parent;
    for (std::size_t i = 1; i < components.size(); ++i) {
        parent += (i > 1 ? "," : "") + components[i];
    }
    return parent;
}

namespace {

// explodeDn with A-Z folded in each component.
std::optional<std::vector<std::string>> foldedDn(const std::string& dn) {
    auto components = explodeDn(dn);
    if (components) {
        for (std::string& component : *components) {
            component = asciiLower(component);
        }
    }
    return components;
}

}  // namespace

std::string rdnType(const std::string& rdn) {
    return rdn.substr(0, rdn.find('='));
}

bool sameDn(const std::string& a, const std::string& b) {
    const auto left = foldedDn(a);
    const auto right = foldedDn(b);
    return left && right ? *left == *right : a.empty() && b.empty();
}

}  // namespace kestrel
