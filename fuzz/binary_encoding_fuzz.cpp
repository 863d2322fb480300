// Binary values: SID, GUID and hexadecimal texts. The first line of the input is the
// attribute name (with or without a binary prefix), the rest is the value text.
// Besides "no crash", every value that parses must be the published layout and must come
// back unchanged from its canonical text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>

#include "attr/binary_encoding.h"
#include "attr/guid_text.h"
#include "attr/sid_text.h"
#include "fuzz_input.h"
#include "util/ascii_case.h"
#include "util/reporter.h"

using kestrel::fuzz::require;

namespace {

// The standard text of a SID: S-1-authority-sub-sub...
std::string sidText(const kestrel::BinaryValue& sid) {
    std::uint64_t authority = 0;
    for (std::size_t i = 2; i < 8; ++i) {
        authority = (authority << 8) | sid[i];
    }
    std::string text = "S-" + std::to_string(sid[0]) + "-";
    if (authority > 0xFFFFFFFFu) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%012llX", static_cast<unsigned long long>(authority));
        text += hex;
    } else {
        text += std::to_string(authority);
    }
    for (std::size_t i = 8; i + 4 <= sid.size(); i += 4) {
        const std::uint32_t sub = static_cast<std::uint32_t>(sid[i]) |
                                  static_cast<std::uint32_t>(sid[i + 1]) << 8 |
                                  static_cast<std::uint32_t>(sid[i + 2]) << 16 |
                                  static_cast<std::uint32_t>(sid[i + 3]) << 24;
        text += "-" + std::to_string(sub);
    }
    return text;
}

// The 36-character text of a GUID from its memory layout, upper case.
std::string guidText(const kestrel::BinaryValue& guid) {
    char text[40];
    std::snprintf(text, sizeof text,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", guid[3],
                  guid[2], guid[1], guid[0], guid[5], guid[4], guid[7], guid[6], guid[8], guid[9],
                  guid[10], guid[11], guid[12], guid[13], guid[14], guid[15]);
    return text;
}

void checkSid(const std::string& valueText) {
    const std::optional<kestrel::BinaryValue> sid = kestrel::parseSidText(valueText);
    if (!sid) {
        return;
    }
    require(sid->size() >= 8 && (*sid)[0] == 1, "a SID has revision 1 and a full header");
    require((*sid)[1] <= 15, "at most 15 sub-authorities");
    require(sid->size() == 8u + 4u * (*sid)[1], "the length follows the sub-authority count");
    const std::optional<kestrel::BinaryValue> again = kestrel::parseSidText(sidText(*sid));
    require(again && *again == *sid, "a SID's standard text gives the same bytes");
}

void checkGuid(const std::string& valueText) {
    const std::optional<kestrel::BinaryValue> guid = kestrel::parseGuidText(valueText);
    if (!guid) {
        return;
    }
    require(guid->size() == 16, "a GUID is 16 bytes");
    require(kestrel::asciiLower(guidText(*guid)) == kestrel::asciiLower(valueText),
            "a GUID's bytes give its text back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string attributeLine = input.substr(0, newline);
    const std::string valueText = newline == std::string::npos ? "" : input.substr(newline + 1);

    checkSid(valueText);
    checkGuid(valueText);

    std::ostringstream out;
    std::ostringstream err;
    kestrel::Reporter reporter(out, err);
    reporter.debug = true;  // the debug lines print the value too

    // The attribute as given (folded, as the parser hands it over), then under each prefix.
    const std::string attributes[] = {kestrel::asciiLower(attributeLine), "sid##objectsid",
                                      "guid##objectguid", "bin##blob"};
    for (const std::string& given : attributes) {
        std::string attribute = given;
        kestrel::BinaryValue value{0xAA};  // must be replaced, never appended to
        const int status = kestrel::encodeBinaryValue(reporter, attribute, valueText, value);
        require(attribute.size() <= given.size(), "the prefix is removed, nothing added");
        if (given == "sid##objectsid") {
            require(attribute == "objectsid", "the SID prefix is removed");
            require((status == 0) == kestrel::parseSidText(valueText).has_value(),
                    "the SID encoding agrees with the SID parser");
        }
        if (given == "bin##blob" && status == 0) {
            std::size_t digits = 0;
            for (const char c : valueText) {
                digits += c != ' ' ? 1 : 0;
            }
            require(value.size() * 2 == digits, "one byte per two hexadecimal digits");
        }
        if (status != 0) {
            require(value.empty(), "a failed encoding leaves no bytes");
        }
    }
    require(err.str().empty(), "encoding errors go to standard output");
    return 0;
}
