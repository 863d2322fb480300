// What liblber and libldap say while LDIF is read, caught instead of going to the process's
// standard error, so that a refusal can quote why libldap refused a line.
#pragma once

#include <lber.h>

#include <string>

namespace kestrel {

// While one lives, the libraries' messages go to it, and ldif_parse_line2 is asked
// (through ldif_debug) to say why it refuses a line. The hook and the level in place
// before are put back when it goes.
class LibraryMessages {
  public:
    LibraryMessages();
    ~LibraryMessages();
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

    // ": " and what was said since the last call, its lines joined by "; "; or nothing.
    std::string take();

  private:
    static void collect(const char* text);

    static LibraryMessages* active_;
    BER_LOG_PRINT_FN previousHook_ = nullptr;
    int previousLevel_;
    LibraryMessages* outer_;
    std::string said_;
};

}  // namespace kestrel
