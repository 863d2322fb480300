// A time limit for what libldap cannot bound itself: a blocking TLS handshake with a server
// that accepted the connection and then says nothing. When the time is up the watched
// socket is shut down, which ends any read or write waiting on it; the caller then reports
// a time-out.
#pragma once

namespace kestrel {

class SocketWatchdog {
  public:
    // Arms a SIGALRM timer for `seconds`; 0 or less arms nothing. One at a time.
    explicit SocketWatchdog(int seconds);
    // Disarms it and puts the earlier SIGALRM action back.
    ~SocketWatchdog();
    SocketWatchdog(const SocketWatchdog&) = delete;
    SocketWatchdog& operator=(const SocketWatchdog&) = delete;

    // The socket to shut down when the time is up (libldap names it once connected). False
    // when the time is already up: the socket is shut down at once.
    static bool watch(int socket);

    bool fired() const;

  private:
    bool armed_ = false;
};

}  // namespace kestrel
