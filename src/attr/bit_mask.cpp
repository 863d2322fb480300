#include "attr/bit_mask.h"

#include <array>
#include <charconv>
#include <utility>

#include "util/ascii_case.h"
#include "util/terminal_text.h"

namespace kestrel {
namespace {

// The documented userAccountControl flags (ADS_USER_FLAG_ENUM), folded, without prefix.
constexpr std::array<std::pair<std::string_view, std::uint32_t>, 22> kAccountFlags{{
    {"script", 0x1},
    {"accountdisable", 0x2},
    {"homedir_required", 0x8},
    {"lockout", 0x10},
    {"passwd_notreqd", 0x20},
    {"passwd_cant_change", 0x40},
    {"encrypted_text_pwd_allowed", 0x80},
    {"temp_duplicate_account", 0x100},
    {"normal_account", 0x200},
    {"interdomain_trust_account", 0x800},
    {"workstation_trust_account", 0x1000},
    {"server_trust_account", 0x2000},
    {"dont_expire_password", 0x10000},
    {"mns_logon_account", 0x20000},
    {"smartcard_required", 0x40000},
    {"trusted_for_delegation", 0x80000},
    {"not_delegated", 0x100000},
    {"use_des_key_only", 0x200000},
    {"dont_req_preauth", 0x400000},
    {"password_expired", 0x800000},
    {"trusted_to_auth_for_delegation", 0x1000000},
    {"partial_secrets_account", 0x4000000},
}};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// The whole text as a number of `base`, or nothing (a sign is read by the caller).
std::optional<std::uint64_t> wholeNumber(std::string_view text, int base) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

enum class Reading { Bits, NotANumber, OutOfRange };

// A decimal or "0x" number that fits 32 bits, signed or not.
Reading readNumber(std::string_view text, std::uint32_t& bits) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const bool negative = !hex && !text.empty() && text.front() == '-';
    const std::string_view digits = hex ? text.substr(2) : negative ? text.substr(1) : text;
    if (digits.empty() || digits.front() == '+' || digits.front() == '-') {
        return Reading::NotANumber;
    }
    const std::optional<std::uint64_t> value = wholeNumber(digits, hex ? 16 : 10);
    if (!value) {
        const bool allDigits = digits.find_first_not_of(hex ? "0123456789abcdefABCDEF"
                                                            : "0123456789") == std::string::npos;
        return allDigits ? Reading::OutOfRange : Reading::NotANumber;
    }
    if (*value > (negative ? 0x80000000ULL : 0xFFFFFFFFULL)) {
        return Reading::OutOfRange;
    }
    bits = static_cast<std::uint32_t>(negative ? 0x100000000ULL - *value : *value);
    return Reading::Bits;
}

std::optional<std::uint32_t> accountFlag(std::string_view piece) {
    std::string name = asciiLower(piece);
    for (const std::string_view prefix : {"ads_uf_", "uf_"}) {
        if (name.starts_with(prefix)) {
            name.erase(0, prefix.size());
            break;
        }
    }
    for (const auto& [flag, bits] : kAccountFlags) {
        if (name == flag) {
            return bits;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> parseBitMask(std::string_view attribute,
                                          const std::vector<std::string>& pieces,
                                          std::string& why) {
    std::uint32_t mask = 0;
    for (const std::string& written : pieces) {
        const std::string_view piece = trimmed(written);
        if (piece.empty()) {
            continue;
        }
        std::uint32_t bits = 0;
        const Reading reading = readNumber(piece, bits);
        if (reading == Reading::OutOfRange) {
            why = "[" + terminalText(piece) + "] does not fit in 32 bits";
            return std::nullopt;
        }
        if (reading == Reading::NotANumber) {
            const std::optional<std::uint32_t> flag = accountFlag(piece);
            if (!flag) {
                why = "[" + terminalText(piece) +
                      "] is neither a number (decimal or 0x hexadecimal) nor a "
                      "userAccountControl flag";
                return std::nullopt;
            }
            if (attribute != kUserAccountControl) {
                why = "[" + terminalText(piece) +
                      "] names a userAccountControl flag; give the bits of other attributes "
                      "as numbers";
                return std::nullopt;
            }
            bits = *flag;
        }
        mask |= bits;
    }
    if (mask == 0) {
        why = "it names no bit";
        return std::nullopt;
    }
    return mask;
}

}  // namespace kestrel
