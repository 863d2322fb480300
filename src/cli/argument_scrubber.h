// Keeping passwords given on the command line out of the process list.
#pragma once

#include <string>
#include <vector>

namespace kestrel {

// The process arguments, copied out of argv, so that argv itself can be overwritten while
// the run goes on with the copy.
class ArgumentCopy {
  public:
    ArgumentCopy(int argc, const char* const* argv);

    int argc() const { return static_cast<int>(texts_.size()); }
    // Null-terminated like the original; valid while this copy lives.
    const char* const* argv() const { return pointers_.data(); }

    // Zeroes the copied texts once they have been read; argv() then gives empty texts.
    void wipe();

  private:
    std::vector<std::string> texts_;
    std::vector<const char*> pointers_;
};

// Overwrites in place, with '*', every argument after the program name that may carry a
// password (its text names a password attribute, see mentionsPasswordAttribute), so that
// ps and /proc/PID/cmdline no longer show it. Call it on the real argv as soon as the
// arguments are copied. Returns how many arguments were overwritten.
int scrubPasswordArguments(int argc, char** argv);

}  // namespace kestrel
