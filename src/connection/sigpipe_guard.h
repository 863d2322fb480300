// Keeps SIGPIPE from ending the process while libldap writes to a socket.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <ctime>

namespace kestrel {

// A write to a connection the server has closed raises SIGPIPE, whose default action
// ends the process without a word: with requests in flight the run would vanish, report and
// all. While a guard lives, SIGPIPE is held back, and dropped when it ends unless the caller
// was already holding it back; the failed write comes back as a lost connection. Standard
// output keeps the default: a reader that went away still stops the run.
class SigpipeGuard {
  public:
    SigpipeGuard() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
    }
    ~SigpipeGuard() {
        sigset_t pending;
        sigemptyset(&pending);
        if (sigismember(&previous_, SIGPIPE) == 0 && sigpending(&pending) == 0 &&
            sigismember(&pending, SIGPIPE) == 1) {
            const timespec noWait{0, 0};
            sigtimedwait(&pipe_, nullptr, &noWait);
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

  private:
    sigset_t pipe_{};
    sigset_t previous_{};
};

}  // namespace kestrel
