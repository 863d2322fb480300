#include "cli/bind_password.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

#include "cli/refusal.h"
#include "util/file_descriptor.h"
#include "util/secret_memory.h"
#include "util/terminal_text.h"
#include "util/text_encoding.h"

namespace kestrel {
namespace {

// The terminal's settings while echo is off, for the signal handler to put back: a run
// stopped at the prompt must not leave the terminal without echo.
int gTerminal = -1;
termios gSaved{};

void restoreAndRaise(int signal) {
    tcsetattr(gTerminal, TCSAFLUSH, &gSaved);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

class EchoOff {
  public:
    explicit EchoOff(int terminal) {
        if (tcgetattr(terminal, &gSaved) != 0) {
            return;
        }
        gTerminal = terminal;
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            struct sigaction action {};
            action.sa_handler = restoreAndRaise;
            sigemptyset(&action.sa_mask);
            sigaction(kSignals[i], &action, &previous_[i]);
        }
        termios quiet = gSaved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        active_ = tcsetattr(terminal, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (gTerminal < 0) {
            return;
        }
        tcsetattr(gTerminal, TCSAFLUSH, &gSaved);
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            sigaction(kSignals[i], &previous_[i], nullptr);
        }
        gTerminal = -1;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

    bool active() const { return active_; }

  private:
    static constexpr std::array<int, 5> kSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
    std::array<struct sigaction, kSignals.size()> previous_{};
    bool active_ = false;
};

bool refuse(Reporter& reporter, const std::string& why) {
    reporter.notice(nothingSentLine(why));
    return false;
}

// Reads the line from `fd` and checks it; `subject` ("The password in the file F") names
// it in the refusals.
bool takeLine(Reporter& reporter, int fd, const std::string& subject, std::string& password) {
    switch (readPasswordLine(fd, password)) {
        case PasswordLine::Read:
            break;
        case PasswordLine::TooLong:
            wipeText(password);
            return refuse(reporter, subject + " is longer than " +
                                        std::to_string(kMaxBindPasswordBytes) + " bytes.");
        case PasswordLine::HoldsNul:
            wipeText(password);
            return refuse(reporter, subject + " holds a NUL byte.");
        case PasswordLine::Failed: {
            const int error = errno;
            wipeText(password);
            return refuse(reporter, subject + " cannot be read: " + std::strerror(error) + ".");
        }
    }
    if (password.empty()) {
        return refuse(reporter, subject + " is empty; an empty password would bind anonymously.");
    }
    std::optional<std::string> utf8 = localeToUtf8(password);
    if (!utf8) {
        wipeText(password);
        return refuse(reporter, subject + " is not valid text in the locale's encoding.");
    }
    if (*utf8 != password) {
        // Same length or longer: assign into a buffer that holds it, so nothing is left over.
        wipeText(password);
        password.reserve(utf8->size());
        password.assign(*utf8);
    }
    wipeText(*utf8);
    return true;
}

}  // namespace

PasswordLine readPasswordLine(int fd, std::string& password) {
    wipeText(password);
    password.reserve(kMaxBindPasswordBytes + 1);
    std::array<char, 256> chunk{};
    PasswordLine outcome = PasswordLine::Read;
    bool lineEnded = false;
    while (!lineEnded) {
        const ssize_t count = read(fd, chunk.data(), chunk.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            outcome = PasswordLine::Failed;
            break;
        }
        if (count == 0) {
            break;
        }
        for (ssize_t i = 0; i < count && !lineEnded; ++i) {
            const char c = chunk[static_cast<std::size_t>(i)];
            if (c == '\n') {
                lineEnded = true;
            } else if (password.size() == kMaxBindPasswordBytes) {
                outcome = PasswordLine::TooLong;
                lineEnded = true;
            } else {
                password.push_back(c);
            }
        }
    }
    explicit_bzero(chunk.data(), chunk.size());
    if (outcome == PasswordLine::Read && !password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    if (outcome == PasswordLine::Read && password.find('\0') != std::string::npos) {
        outcome = PasswordLine::HoldsNul;
    }
    return outcome;
}

bool readBindPassword(Reporter& reporter, const RunSettings& settings, std::string& password) {
    if (settings.passwordFileGiven) {
        const FileDescriptor file(open(settings.passwordFile.c_str(), O_RDONLY | O_CLOEXEC));
        if (file.get() < 0) {
            return refuse(reporter, "Cannot read the password file " + settings.passwordFile +
                                        ": " + std::strerror(errno) + ".");
        }
        return takeLine(reporter, file.get(), "The password in the file " + settings.passwordFile,
                        password);
    }
    const FileDescriptor terminal(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (terminal.get() < 0) {
        return refuse(reporter,
                      "-binddn needs a password: name a file holding it with -pwfile, or run "
                      "kestrel on a terminal to type it.");
    }
    const std::string prompt = "Password for " + terminalDn(settings.bindDn) + ": ";
    if (write(terminal.get(), prompt.data(), prompt.size()) < 0) {
        return refuse(reporter, "Cannot ask for the password on the terminal.");
    }
    const EchoOff echoOff(terminal.get());
    if (!echoOff.active()) {
        return refuse(reporter, "Cannot turn the terminal's echo off to ask for the password.");
    }
    return takeLine(reporter, terminal.get(), "The password typed", password);
}

}  // namespace kestrel
