#include "cli/argument_scrubber.h"

#include <cstring>

#include "attr/password_attribute.h"

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

int scrubPasswordArguments(int argc, char** argv) {
    int scrubbed = 0;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        if (namesPasswordAttribute(argv[i])) {
            // The same length: the kernel shows the argument area as it is in memory,
            // and the arguments after this one must stay where they are.
            std::memset(argv[i], '*', std::strlen(argv[i]));
            ++scrubbed;
        }
    }
    return scrubbed;
}

}  // namespace kestrel
