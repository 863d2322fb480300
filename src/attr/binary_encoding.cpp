#include "attr/binary_encoding.h"

#include <cstddef>
#include <optional>
#include <utility>

#include "attr/binary_prefix.h"
#include "attr/guid_text.h"
#include "attr/password_attribute.h"
#include "attr/sid_text.h"
#include "util/ascii_case.h"
#include "util/windows_error_text.h"

namespace kestrel {
namespace {

// The Win32 codes the platform's converters fail with, kept so that statuses and
// messages read the same as on that platform.
constexpr int kErrorInvalidSid = 1337;       // ERROR_INVALID_SID
constexpr int kRpcInvalidStringUuid = 1705;  // RPC_S_INVALID_STRING_UUID
constexpr int kHexFailure = -1;

enum class Encoding { None, Sid, Guid, Bin };

// With `hidden` the error lines show a mask instead of the value: the attribute may hold a
// password (a hexadecimal unicodePwd is the password, only spelt otherwise).
int encodeSid(Reporter& reporter, const std::string& valueText, bool hidden, BinaryValue& value) {
    reporter.trace("DEBUG: SID String=" + valueText + "\n");
    std::optional<BinaryValue> sid = parseSidText(valueText);
    if (!sid) {
        const std::string shown = hidden ? std::string(kHiddenText) : valueText;
        return reportWindowsError(reporter, "ERROR (ConvertStringSidToSid): [" + shown + "] ",
                                  kErrorInvalidSid);
    }
    value = std::move(*sid);
    return 0;
}

void removeFirst(std::string& text, char c) {
    const std::size_t at = text.find(c);
    if (at != std::string::npos) {
        text.erase(at, 1);
    }
}

int encodeGuid(Reporter& reporter, const std::string& valueText, bool hidden, BinaryValue& value) {
    std::string text = valueText;
    removeFirst(text, '{');
    removeFirst(text, '}');
    reporter.trace("DEBUG: GUID String=" + text + "\n");
    std::optional<BinaryValue> guid = parseGuidText(text);
    if (!guid) {
        const std::string shown = hidden ? std::string(kHiddenText) : text;
        return reportWindowsError(reporter, "ERROR (UuidFromString): " + shown + "] ",
                                  kRpcInvalidStringUuid);
    }
    value = std::move(*guid);
    return 0;
}

int encodeHex(Reporter& reporter, const std::string& valueText, bool hidden, BinaryValue& value) {
    // Only the blank is ignored: a tab or line end in the text is an error, not a separator.
    std::string cleaned;
    cleaned.reserve(valueText.size());
    for (const char c : asciiLower(valueText)) {
        if (c != ' ') {
            cleaned += c;
        }
    }
    const std::string shown = hidden ? std::string(kHiddenText) : cleaned;
    if (cleaned.size() % 2 != 0) {
        reporter.notice("ERROR: Odd number of HEX characters. (" + std::to_string(cleaned.size()) +
                        ") [" + shown + "]\n");
        return kHexFailure;
    }
    BinaryValue bytes;
    bytes.reserve(cleaned.size() / 2);
    for (std::size_t i = 0; i < cleaned.size(); i += 2) {
        const int high = hexDigitValue(cleaned[i]);
        const int low = hexDigitValue(cleaned[i + 1]);
        if (high < 0 || low < 0) {
            const std::string bad = hidden ? std::string(kHiddenText)
                                           : std::string(1, high < 0 ? cleaned[i] : cleaned[i + 1]);
            reporter.notice("ERROR: Error in HEX conversion - (" + bad + ") [" + shown + "]\n");
            return kHexFailure;
        }
        bytes.push_back(static_cast<std::uint8_t>((high << 4) | low));
    }
    value = std::move(bytes);
    return 0;
}

}  // namespace

int encodeBinaryValue(Reporter& reporter, std::string& attribute, const std::string& valueText,
                      BinaryValue& value) {
    value.clear();
    const bool hidden = mentionsPasswordAttribute(attribute);
    const BinaryPrefixes prefixes = removeBinaryPrefixes(attribute);
    Encoding encoding = Encoding::None;
    if (prefixes.sid) {
        encoding = Encoding::Sid;
        reporter.trace("DEBUG: Encoding SID: " + valueText + "\n");
    }
    if (prefixes.guid) {
        encoding = Encoding::Guid;
        reporter.trace("DEBUG: Encoding GUID: " + valueText + "\n");
    }
    if (prefixes.bin) {
        encoding = Encoding::Bin;
        reporter.trace("DEBUG: Encoding BIN: " + valueText + "\n");
    }

    int status = 0;
    switch (encoding) {
        case Encoding::Sid:
            status = encodeSid(reporter, valueText, hidden, value);
            break;
        case Encoding::Guid:
            status = encodeGuid(reporter, valueText, hidden, value);
            break;
        case Encoding::Bin:
            status = encodeHex(reporter, valueText, hidden, value);
            break;
        case Encoding::None:
            // A "##" attribute without a known prefix: sent as an empty value.
            break;
    }
    if (status != 0) {
        return status;
    }
    reporter.trace("DEBUG: Data Size - " + std::to_string(value.size()) + "\n");
    return 0;
}

}  // namespace kestrel
