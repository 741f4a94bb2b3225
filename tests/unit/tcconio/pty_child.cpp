#include "pty_child.h"

#include <errno.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace {

// Generous: only a broken probe comes near it.
constexpr int kSilenceLimitMs = 10000;

}  // namespace

PtyChild::PtyChild(const char* mode, int cols, int rows) {
    struct winsize size {};
    size.ws_col = static_cast<unsigned short>(cols);
    size.ws_row = static_cast<unsigned short>(rows);
    if (openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) {
        throw std::runtime_error("openpty failed");
    }
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        setsid();
        ioctl(slave_, TIOCSCTTY, 0);
        dup2(slave_, STDIN_FILENO);
        dup2(slave_, STDOUT_FILENO);
        dup2(slave_, STDERR_FILENO);
        close(master_);
        close(slave_);
        execl(CONIO_PROBE, CONIO_PROBE, mode, static_cast<char*>(nullptr));
        _exit(127);
    }
}

PtyChild::~PtyChild() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(master_);
    close(slave_);
}

void PtyChild::send(const std::string& bytes) {
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("writing to the pty failed");
    }
}

void PtyChild::resize(int cols, int rows) {
    struct winsize size {};
    size.ws_col = static_cast<unsigned short>(cols);
    size.ws_row = static_cast<unsigned short>(rows);
    ioctl(master_, TIOCSWINSZ, &size);  // the kernel sends SIGWINCH
}

void PtyChild::signal(int signo) {
    kill(pid_, signo);
}

bool PtyChild::readSome(int timeoutMs) {
    struct pollfd pfd {};
    pfd.fd = master_;
    pfd.events = POLLIN;
    int ready = poll(&pfd, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) {
        return true;
    }
    if (ready <= 0) {
        return false;
    }
    char buf[4096];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) {
        return false;
    }
    output_.append(buf, static_cast<std::size_t>(n));
    return true;
}

std::string PtyChild::readUntil(const std::string& needle) {
    for (;;) {
        std::size_t at = output_.find(needle, consumed_);
        if (at != std::string::npos) {
            std::string part = output_.substr(consumed_, at + needle.size() - consumed_);
            consumed_ = at + needle.size();
            return part;
        }
        if (!readSome(kSilenceLimitMs)) {
            throw std::runtime_error("no \"" + needle + "\" in the output: " + output_);
        }
    }
}

int PtyChild::wait() {
    int status = 0;
    // Keep reading while waiting, so that the probe never blocks on a full
    // pty. The parent holds the slave open and the master never reports the
    // end: once the probe has gone, collect what is left.
    for (;;) {
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR)) {
            break;
        }
        readSome(20);
    }
    pid_ = -1;
    while (readSome(0)) {
    }
    return status;
}

unsigned PtyChild::localModes() const {
    struct termios modes {};
    tcgetattr(slave_, &modes);
    return modes.c_lflag;
}
