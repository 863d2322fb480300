#include "ldif/library_messages.h"

#include <ldif.h>

namespace kestrel {
namespace {

// libldap's LDAP_DEBUG_PARSE: the level of ldif_parse_line2's reasons.
constexpr int kParseMessages = 0x0800;

}  // namespace

LibraryMessages* LibraryMessages::active_ = nullptr;

LibraryMessages::LibraryMessages() : previousLevel_(ldif_debug), outer_(active_) {
    ber_get_option(nullptr, LBER_OPT_LOG_PRINT_FN, &previousHook_);
    ber_set_option(nullptr, LBER_OPT_LOG_PRINT_FN, reinterpret_cast<void*>(&collect));
    ldif_debug = kParseMessages;
    active_ = this;
}

LibraryMessages::~LibraryMessages() {
    active_ = outer_;
    ldif_debug = previousLevel_;
    ber_set_option(nullptr, LBER_OPT_LOG_PRINT_FN, reinterpret_cast<void*>(previousHook_));
}

std::string LibraryMessages::take() {
    std::string joined;
    std::size_t start = 0;
    while (start < said_.size()) {
        std::size_t end = said_.find('\n', start);
        if (end == std::string::npos) {
            end = said_.size();
        }
        if (end > start) {
            joined += (joined.empty() ? ": " : "; ") + said_.substr(start, end - start);
        }
        start = end + 1;
    }
    said_.clear();
    return joined;
}

void LibraryMessages::collect(const char* text) {
    if (active_ != nullptr) {
        active_->said_ += text;
    }
}

}  // namespace kestrel
