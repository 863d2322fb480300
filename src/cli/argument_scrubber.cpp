#include "cli/argument_scrubber.h"

#include <cstring>

#include "attr/password_attribute.h"
#include "util/secret_memory.h"

namespace kestrel {

ArgumentCopy::ArgumentCopy(int argc, const char* const* argv) {
    for (int i = 0; i < argc && argv[i] != nullptr; ++i) {
        texts_.emplace_back(argv[i]);
    }
    for (const std::string& text : texts_) {
        pointers_.push_back(text.c_str());
    }
    pointers_.push_back(nullptr);
}

void ArgumentCopy::wipe() {
    for (std::string& text : texts_) {
        wipeText(text);
    }
}

int scrubPasswordArguments(int argc, char** argv) {
    int scrubbed = 0;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        // The delimiter is not known yet, so the whole text is searched: every spelling the
        // parser would read as a password attribute is caught, and a DN or switch value that
        // merely names one is overwritten too, which costs nothing.
        if (mentionsPasswordAttribute(argv[i])) {
            // The same length: the kernel shows the argument area as it is in memory,
            // and the arguments after this one must stay where they are.
            std::memset(argv[i], '*', std::strlen(argv[i]));
            ++scrubbed;
        }
    }
    return scrubbed;
}

}  // namespace kestrel
