#include "dn/dn_key.h"

#include <algorithm>
#include <array>
#include <utility>

#include "util/ascii_case.h"
#include "util/case_fold.h"

namespace kestrel {
namespace {

std::uint64_t mix(std::uint64_t value) {
    // splitmix64's finaliser: every input bit reaches every output bit.
    value ^= value >> 30;
    value *= 0xBF58476D1CE4E5B9ULL;
    value ^= value >> 27;
    value *= 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

bool isTypeChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.';
}

// Each printable ASCII character that stands for itself in a value, folded; 0 for every
// other byte (blank, separator, escape, quote, angle bracket, control, non-ASCII).
constexpr std::array<unsigned char, 256> kPlainFolded = [] {
    std::array<unsigned char, 256> table{};
    for (int c = '!'; c < 0x7F; ++c) {
        table[static_cast<std::size_t>(c)] =
            static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    for (const char c : std::string_view("\"+,;<>\\")) {
        table[static_cast<unsigned char>(c)] = 0;
    }
    return table;
}();

// The characters RFC 4514 lets a backslash escape.
bool isEscapable(char c) {
    return std::string_view(" \"#+,;<=>\\").find(c) != std::string_view::npos;
}

// Hashes one value as the directory compares it: bytes in (unescaped UTF-8), folded code
// points out, blanks trimmed and collapsed.
class ValueHash {
  public:
    // False once the bytes are not UTF-8.
    bool add(unsigned char byte) {
        if (pending_ == 0) {
            if (byte < 0x80) {
                ascii(byte);
                return true;
            }
            if (byte >= 0xC2 && byte <= 0xDF) {
                return start(byte & 0x1Fu, 1, 0x80);
            }
            if (byte >= 0xE0 && byte <= 0xEF) {
                return start(byte & 0x0Fu, 2, 0x800);
            }
            if (byte >= 0xF0 && byte <= 0xF4) {
                return start(byte & 0x07u, 3, 0x10000);
            }
            return false;
        }
        if ((byte & 0xC0u) != 0x80) {
            return false;
        }
        code_ = code_ << 6 | (byte & 0x3Fu);
        if (--pending_ > 0) {
            return true;
        }
        if (code_ < minimum_ || code_ > 0x10FFFF || (code_ >= 0xD800 && code_ <= 0xDFFF)) {
            return false;  // an overlong form or a surrogate: not UTF-8
        }
        return emit(code_);
    }

    // Hashes the plain characters (kPlainFolded) of `text` from `at` on, the common case,
    // in one tight loop; returns where they end.
    std::size_t addPlain(std::string_view text, std::size_t at) {
        if (pending_ != 0 || at == text.size() ||
            kPlainFolded[static_cast<unsigned char>(text[at])] == 0) {
            return at;
        }
        hashFolded(kPlainFolded[static_cast<unsigned char>(text[at])]);
        std::uint64_t hash = hash_;
        for (++at; at < text.size(); ++at) {
            const unsigned char folded = kPlainFolded[static_cast<unsigned char>(text[at])];
            if (folded == 0) {
                break;
            }
            hash = (hash ^ folded) * kFnvPrime;
        }
        hash_ = hash;
        return at;
    }

    // The value's hash, or nothing when it ended inside a character.
    std::optional<std::uint64_t> finish() const {
        if (pending_ != 0) {
            return std::nullopt;
        }
        return mix(hash_);
    }

  private:
    bool start(std::uint32_t bits, int continuation, std::uint32_t minimum) {
        code_ = bits;
        pending_ = continuation;
        minimum_ = minimum;
        return true;
    }

    // Most DNs are ASCII, which folds without the table.
    void ascii(unsigned char byte) {
        if (byte == ' ') {
            blankPending_ = started_;
            return;
        }
        hashFolded(byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte);
    }

    // A character of two bytes or more (never a blank: overlong forms are refused).
    bool emit(std::uint32_t code) {
        hashFolded(static_cast<std::uint32_t>(simpleCaseFold(static_cast<char32_t>(code))));
        return true;
    }

    void hashFolded(std::uint32_t folded) {
        if (blankPending_) {
            hash_ = (hash_ ^ ' ') * kFnvPrime;
            blankPending_ = false;
        }
        started_ = true;
        hash_ = (hash_ ^ folded) * kFnvPrime;  // FNV-1a over code points
    }

    static constexpr std::uint64_t kFnvPrime = 0x100000001B3ULL;

    std::uint64_t hash_ = 0xCBF29CE484222325ULL;
    std::uint32_t code_ = 0;
    std::uint32_t minimum_ = 0;
    int pending_ = 0;
    bool started_ = false;
    bool blankPending_ = false;
};

// Reads a DN left to right; each component's hash is the sum of its values' hashes, so a
// multi-valued RDN's values count in any order.
class DnReader {
  public:
    explicit DnReader(std::string_view dn) : dn_(dn) {}

    std::optional<std::vector<std::uint64_t>> components() {
        std::vector<std::uint64_t> hashes;
        hashes.reserve(kUsualDepth);
        while (true) {
            std::uint64_t component = 0;
            while (true) {
                const std::optional<std::uint64_t> value = attributeValue();
                if (!value) {
                    return std::nullopt;
                }
                component += *value;
                if (at_ < dn_.size() && dn_[at_] == '+') {
                    ++at_;
                    continue;
                }
                break;
            }
            hashes.push_back(component);
            if (at_ == dn_.size()) {
                return hashes;
            }
            ++at_;  // the ','
        }
    }

  private:
    static constexpr std::size_t kUsualDepth = 8;

    void skipBlanks() {
        while (at_ < dn_.size() && dn_[at_] == ' ') {
            ++at_;
        }
    }

    // "type=value" up to the next unescaped ',' or '+' or the end; the type is checked
    // and left out.
    std::optional<std::uint64_t> attributeValue() {
        skipBlanks();
        const std::size_t typeStart = at_;
        while (at_ < dn_.size() && isTypeChar(dn_[at_])) {
            ++at_;
        }
        if (at_ == typeStart) {
            return std::nullopt;
        }
        skipBlanks();
        if (at_ == dn_.size() || dn_[at_] != '=') {
            return std::nullopt;
        }
        ++at_;
        skipBlanks();
        if (at_ < dn_.size() && dn_[at_] == '#') {
            return std::nullopt;  // a BER value in hexadecimal
        }
        ValueHash value;
        while ((at_ = value.addPlain(dn_, at_)) < dn_.size() && dn_[at_] != ',' &&
               dn_[at_] != '+') {
            char c = dn_[at_];
            if (c == '\\') {
                if (at_ + 1 >= dn_.size()) {
                    return std::nullopt;
                }
                const int high = hexDigitValue(dn_[at_ + 1]);
                const int low = at_ + 2 < dn_.size() ? hexDigitValue(dn_[at_ + 2]) : -1;
                if (high >= 0 && low >= 0) {
                    c = static_cast<char>(high * 16 + low);
                    at_ += 2;
                } else if (isEscapable(dn_[at_ + 1])) {
                    c = dn_[++at_];
                } else {
                    return std::nullopt;
                }
                if (c == '\0') {
                    return std::nullopt;
                }
            } else if (c == '"' || c == ';' || c == '<' || c == '>' || c == '\0') {
                return std::nullopt;
            }
            if (!value.add(static_cast<unsigned char>(c))) {
                return std::nullopt;
            }
            ++at_;
        }
        return value.finish();
    }

    std::string_view dn_;
    std::size_t at_ = 0;
};

// Chained from the root, so that each hash stands for its whole path.
std::uint64_t chained(std::uint64_t parent, std::uint64_t component) {
    return mix(parent ^ (component + 0x9E3779B97F4A7C15ULL));
}

}  // namespace

std::optional<DnKey> dnKey(std::string_view dn) {
    std::optional<std::vector<std::uint64_t>> components = DnReader(dn).components();
    if (!components) {
        return std::nullopt;
    }
    DnKey key{std::move(*components)};
    std::reverse(key.path.begin(), key.path.end());
    std::uint64_t hash = 0;
    for (std::uint64_t& component : key.path) {
        hash = chained(hash, component);
        component = hash;
    }
    return key;
}

std::optional<DnKey> childKey(const DnKey& parent, std::string_view rdn) {
    const std::optional<std::vector<std::uint64_t>> components = DnReader(rdn).components();
    if (!components || components->size() != 1) {
        return std::nullopt;
    }
    DnKey key = parent;
    key.path.push_back(chained(parent.path.empty() ? 0 : parent.path.back(), components->front()));
    return key;
}

bool isAtOrAbove(const std::optional<DnKey>& upper, const std::optional<DnKey>& dn) {
    if (!upper || !dn) {
        return true;
    }
    const std::size_t depth = upper->path.size();
    return depth <= dn->path.size() && (depth == 0 || upper->path.back() == dn->path[depth - 1]);
}

bool related(const std::optional<DnKey>& a, const std::optional<DnKey>& b) {
    return isAtOrAbove(a, b) || isAtOrAbove(b, a);
}

}  // namespace kestrel
