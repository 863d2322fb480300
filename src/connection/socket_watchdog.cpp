#include "connection/socket_watchdog.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace kestrel {
namespace {

// Read by the signal handler, so of the one type it may touch.
volatile sig_atomic_t gArmed = 0;
volatile sig_atomic_t gSocket = -1;
volatile sig_atomic_t gFired = 0;
struct sigaction gPrevious {};

void onAlarm(int) {
    gFired = 1;
    if (gSocket >= 0) {
        shutdown(gSocket, SHUT_RDWR);  // async-signal-safe
    }
}

}  // namespace

SocketWatchdog::SocketWatchdog(int seconds) {
    if (seconds <= 0 || gArmed != 0) {
        return;
    }
    gSocket = -1;
    gFired = 0;
    struct sigaction action {};
    action.sa_handler = onAlarm;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGALRM, &action, &gPrevious) != 0) {
        return;
    }
    itimerval timer{};
    timer.it_value.tv_sec = seconds;
    if (setitimer(ITIMER_REAL, &timer, nullptr) != 0) {
        sigaction(SIGALRM, &gPrevious, nullptr);
        return;
    }
    armed_ = true;
    gArmed = 1;
}

SocketWatchdog::~SocketWatchdog() {
    if (!armed_) {
        return;
    }
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &gPrevious, nullptr);
    gArmed = 0;
    gSocket = -1;
}

bool SocketWatchdog::watch(int socket) {
    if (gArmed == 0) {
        return true;
    }
    gSocket = socket;
    if (gFired != 0) {
        shutdown(socket, SHUT_RDWR);
        return false;
    }
    return true;
}

bool SocketWatchdog::fired() const {
    return armed_ && gFired != 0;
}

}  // namespace kestrel
