#include "session/sigpipe_guard.h"

#include <pthread.h>

#include <ctime>

namespace kestrel {

SigpipeGuard::SigpipeGuard() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
}

SigpipeGuard::~SigpipeGuard() {
    sigset_t pending;
    sigemptyset(&pending);
    // Only a SIGPIPE raised while the guard held it is dropped: one the caller was already
    // holding back stays theirs.
    if (sigismember(&previous_, SIGPIPE) == 0 && sigpending(&pending) == 0 &&
        sigismember(&pending, SIGPIPE) == 1) {
        const timespec noWait{0, 0};
        sigtimedwait(&pipe_, nullptr, &noWait);
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace kestrel
