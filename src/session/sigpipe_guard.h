// Keeps SIGPIPE from ending the process while libldap writes to a socket.
#pragma once

#include <signal.h>

namespace kestrel {

// A write to a connection the server has closed raises SIGPIPE, whose default action
// ends the process without a word: with requests in flight the run would vanish, report and
// all. While a guard lives, SIGPIPE is held back, and dropped when it ends; the failed write
// comes back as a lost connection. Standard output keeps the default: a reader that went
// away still stops the run.
class SigpipeGuard {
  public:
    SigpipeGuard();
    ~SigpipeGuard();
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

  private:
    sigset_t pipe_{};
    sigset_t previous_{};
};

}  // namespace kestrel
