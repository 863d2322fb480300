#include "session/dn_components.h"

#include <ldap.h>

#include <cstddef>

namespace kestrel {
namespace {

// The number of RDNs libldap finds in `dn`, or nothing when it is not a DN.
std::optional<std::size_t> countRdns(const std::string& dn) {
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAP) != LDAP_SUCCESS) {
        return std::nullopt;
    }
    std::size_t count = 0;
    while (parsed != nullptr && parsed[count] != nullptr) {
        ++count;
    }
    ldap_dnfree(parsed);
    return count;
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
    const std::optional<std::size_t> rdnCount = countRdns(dn);
    if (!rdnCount || *rdnCount == 0) {
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
    if (components.size() != *rdnCount) {
        return std::nullopt;
    }
    return components;
}

}  // namespace kestrel
