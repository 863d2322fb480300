// Splitting a DN into its components (move, rename and undelete take the RDN and the
// parent from them). The whole input is the DN text. What comes back must be what was
// written: joined again with commas it must split into the same components. The window's
// key of the same text, when it has one, cuts it in the same places.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dn/dn_components.h"
#include "dn/dn_key.h"
#include "fuzz_input.h"

using kestrel::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string dn(reinterpret_cast<const char*>(data), size);
    const std::optional<std::vector<std::string>> components = kestrel::explodeDn(dn);
    if (!components) {
        return 0;
    }
    require(!components->empty(), "a DN has at least one component");
    std::string joined;
    std::size_t length = 0;
    for (const std::string& component : *components) {
        joined += joined.empty() ? "" : ",";
        joined += component;
        length += component.size();
    }
    require(length <= dn.size(), "components are cut from the text, nothing added");
    std::optional<std::vector<std::string>> again = kestrel::explodeDn(joined);
    if (!again) {
        // libldap refuses an empty hexadecimal value ("cn=#") at the very end of a DN but
        // takes it with anything after it, a blank included; that quirk is libldap's.
        again = kestrel::explodeDn(joined + " ");
    }
    require(again.has_value(), "the components joined again are a DN");
    require(*again == *components, "the components joined again split the same way");
    if (const std::optional<kestrel::DnKey> key = kestrel::dnKey(dn)) {
        require(key->path.size() == components->size(), "the key has one hash per component");
    }
    return 0;
}
