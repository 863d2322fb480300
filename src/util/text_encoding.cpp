#include "util/text_encoding.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <vector>

namespace kestrel {
namespace {

// An iconv descriptor owned for one conversion.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    std::optional<std::string> convert(std::string_view input) {
        if (!valid()) {
            return std::nullopt;
        }
        std::string output;
        std::vector<char> buffer(4 * input.size() + 16);
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        while (true) {
            char* out = buffer.data();
            std::size_t outLeft = buffer.size();
            const std::size_t rc = iconv(cd_, inLeft > 0 ? &in : nullptr, &inLeft, &out, &outLeft);
            output.append(buffer.data(), buffer.size() - outLeft);
            if (rc != static_cast<std::size_t>(-1)) {
                if (inLeft == 0) {
                    break;
                }
                continue;
            }
            if (errno != E2BIG) {
                return std::nullopt;  // an invalid or incomplete sequence
            }
        }
        return output;
    }

  private:
    iconv_t cd_;
};

}  // namespace

std::string localeEncoding() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && *codeset != '\0' ? codeset : "ANSI_X3.4-1968";
}

std::optional<std::string> localeToUtf16le(std::string_view text) {
    Converter converter("UTF-16LE", localeEncoding().c_str());
    return converter.convert(text);
}

std::optional<std::string> localeToUtf8(std::string_view text) {
    Converter converter("UTF-8", localeEncoding().c_str());
    return converter.convert(text);
}

std::optional<std::string> quotedUtf16le(std::string_view text, Quotes quotes) {
    std::optional<std::string> utf16 = localeToUtf16le(text);
    static const std::string kQuote("\"\0", 2);
    if (utf16 && !(quotes == Quotes::KeepWriters && utf16->starts_with(kQuote))) {
        *utf16 = kQuote + *utf16 + kQuote;
    }
    return utf16;
}

std::optional<std::string> utf16leToLocale(std::string_view bytes) {
    Converter converter(localeEncoding().c_str(), "UTF-16LE");
    return converter.convert(bytes);
}

}  // namespace kestrel
