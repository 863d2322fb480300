// The console process's two output streams and the run-wide output flags.
#pragma once

#include <ostream>

namespace kestrel {

// Every part of the program writes through one Reporter, so tests can capture both
// streams and the quiet/debug flags travel with the streams instead of living in globals.
class Reporter {
  public:
    Reporter(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    std::ostream& out() { return out_; }

    // Standard output is flushed first so that, on a shared terminal, lines appear in
    // the order the program produced them.
    std::ostream& err() {
        out_.flush();
        return err_;
    }

    bool quiet = false;  // -q
    bool debug = false;  // -d

  private:
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace kestrel
