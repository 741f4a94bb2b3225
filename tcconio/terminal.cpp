// The terminal session: alternate screen, raw keys, and the one restore that
// every way out of the program reaches.

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "tcconio/conio_internal.h"
#include "tcconio/conio_test_hooks.h"
#include "tcconio/tcconio.h"

namespace {

// Reset colours, show the cursor, leave the alternate screen. Leaving it last
// lets the terminal bring back the cursor and colours of the shell's screen.
constexpr char kLeaveSequence[] = "\x1b[0m\x1b[?25h\x1b[?1049l";
constexpr char kEnterSequence[] = "\x1b[?1049h\x1b[H";

int pretendCols = 0;
int pretendRows = 0;

// The session as the signal handlers see it: each flag is set only after the
// change it stands for is made, and the saved modes are written before the
// handlers are installed, so a handler never restores something half-saved.
struct termios savedModes;
struct termios rawModes;
volatile sig_atomic_t rawModeOn = 0;
volatile sig_atomic_t alternateScreenOn = 0;
volatile sig_atomic_t resized = 0;
// Written to when the size changed, so that a program's poll wakes for it:
// a signal does not end a poll that is restarted for the rest of its time.
int resizeWakeup[2] = {-1, -1};
// Set when the terminal was given back and taken over again (Ctrl+Z, fg):
// the colours it holds are its defaults again.
volatile sig_atomic_t reentered = 0;
bool started = false;

// Every screen operation needs the terminal's size; asking the terminal each
// time would cost two system calls per cursor move, so the answer is kept
// until the terminal announces a new size.
enum class Output { Unknown, Terminal, Other };
Output output = Output::Unknown;
volatile sig_atomic_t sizeKnown = 0;
int knownCols = 0;
int knownRows = 0;

// Output is collected here and written in one piece before the program waits
// (see keyboard.cpp), instead of one write per escape sequence and printf.
char outputBuffer[1 << 16];

void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // Nothing better can be done while leaving.
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// Only async-signal-safe calls: it also runs inside the signal handlers.
void restoreTerminalModes() {
    if (alternateScreenOn) {
        writeAll(STDOUT_FILENO, kLeaveSequence, sizeof kLeaveSequence - 1);
        alternateScreenOn = 0;
    }
    if (rawModeOn) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedModes);
        rawModeOn = 0;
    }
}

extern "C" void onFatalSignal(int) {
    restoreTerminalModes();
    _exit(1);
}

// The ends that the program may take in its own way (conioTakeEndSignals):
// the first makes endPipe readable, and gives the program kEndGraceSeconds
// to end, after which SIGALRM ends it as any other signal would. A second
// one ends it at once.
constexpr int kOrderlyEndSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr unsigned kEndGraceSeconds = 2;
int endPipe[2] = {-1, -1};
volatile sig_atomic_t endRequested = 0;

extern "C" void onEndRequest(int signo) {
    if (endRequested) {
        onFatalSignal(signo);
    }
    const int savedErrno = errno;
    endRequested = 1;
    const char byte = 0;
    if (write(endPipe[1], &byte, 1) != 1) {
        onFatalSignal(signo);
    }
    alarm(kEndGraceSeconds);
    errno = savedErrno;
}

// What a crash signal did before the player took it over (the default, or a
// sanitizer's report), indexed by signal number.
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};
struct sigaction crashActions[NSIG];

// A fault of the processor: the instruction that caused it runs again as
// soon as the handler returns, and faults again.
bool faultRecurs(int signo, const siginfo_t* info) {
    bool fault = signo == SIGSEGV || signo == SIGBUS || signo == SIGFPE || signo == SIGILL;
    return fault && info != nullptr && info->si_code > 0;
}

// A crash gives the terminal back first, then meets the signal's earlier
// action, so that the core dump or the sanitizer's report and the exit
// status are those of the crash itself. A fault of the processor happens
// again as soon as this returns; any other crash signal (one that was sent,
// a breakpoint, a forbidden system call) is sent again, and taken when this
// returns, since it is blocked until then.
extern "C" void onCrash(int signo, siginfo_t* info, void*) {
    int savedErrno = errno;
    restoreTerminalModes();
    sigaction(signo, &crashActions[signo], nullptr);
    if (!faultRecurs(signo, info)) {
        raise(signo);
    }
    errno = savedErrno;
}

void wakeForResize() {
    if (resizeWakeup[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t n = write(resizeWakeup[1], &byte, 1);
    }
}

extern "C" void onResize(int) {
    int savedErrno = errno;
    resized = 1;
    sizeKnown = 0;
    wakeForResize();
    errno = savedErrno;
}

void installHandler(int signo, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    sigaction(signo, &action, nullptr);
}

// Ctrl+Z: the shell gets its terminal back while the player is stopped, and
// the player takes it over again when it goes on. When no shell could go on
// with it (an orphaned process group), the stop is discarded and the player
// takes the terminal back at once.
extern "C" void onSuspend(int) {
    int savedErrno = errno;
    bool wasRaw = rawModeOn;
    bool wasAlternate = alternateScreenOn;
    restoreTerminalModes();
    installHandler(SIGTSTP, SIG_DFL, 0);
    sigset_t suspend;
    sigemptyset(&suspend);
    sigaddset(&suspend, SIGTSTP);
    // This thread's mask: the process has the engine's threads beside it.
    pthread_sigmask(SIG_UNBLOCK, &suspend, nullptr);
    raise(SIGTSTP);  // stops here until the shell continues the player
    installHandler(SIGTSTP, onSuspend, SA_RESTART);
    if (wasRaw && tcsetattr(STDIN_FILENO, TCSANOW, &rawModes) == 0) {
        rawModeOn = 1;
    }
    if (wasAlternate) {
        writeAll(STDOUT_FILENO, kEnterSequence, sizeof kEnterSequence - 1);
        alternateScreenOn = 1;
    }
    sizeKnown = 0;
    reentered = 1;
    resized = 1;
    wakeForResize();
    errno = savedErrno;
}

// The signals whose default action ends the process, bar the crashes: each
// would leave the terminal raw and on the alternate screen. SIGQUIT (Ctrl+\),
// SIGXCPU and SIGXFSZ would dump core instead; they are ends all the same.
constexpr int kEndingSignals[] = {SIGINT,    SIGTERM, SIGHUP,  SIGQUIT,   SIGUSR1,
                                  SIGUSR2,   SIGALRM, SIGPIPE, SIGPOLL,   SIGPROF,
                                  SIGVTALRM, SIGXCPU, SIGXFSZ, SIGSTKFLT, SIGPWR};

// A signal the player was started with ignored (SIGHUP under nohup, SIGINT
// for a background job of a shell without job control) stays ignored.
void installEndingHandler(int signo) {
    struct sigaction inherited {};
    if (sigaction(signo, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) {
        return;
    }
    installHandler(signo, onFatalSignal, 0);
}

void installHandlers() {
    for (int signo : kEndingSignals) {
        installEndingHandler(signo);
    }
    // The real-time signals end the process by default too.
    for (int signo = SIGRTMIN; signo <= SIGRTMAX; ++signo) {
        installEndingHandler(signo);
    }
    for (int signo : kCrashSignals) {
        struct sigaction action {};
        action.sa_sigaction = onCrash;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(signo, &action, &crashActions[signo]);
    }
    if (pipe2(resizeWakeup, O_CLOEXEC | O_NONBLOCK) != 0) {
        resizeWakeup[0] = resizeWakeup[1] = -1;
    }
    installHandler(SIGWINCH, onResize, SA_RESTART);
    if (rawModeOn || alternateScreenOn) {
        installHandler(SIGTSTP, onSuspend, SA_RESTART);
    }
}

// A standard stream that was closed when the program started would be the
// descriptor of the next file opened: a song would then be read as keys, or
// the screen written into it. Each closed one is opened on /dev/null.
void claimStandardStreams() {
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor: fd itself, as those below it are open.
            int opened = open("/dev/null", O_RDWR);
            if (opened >= 0 && opened != fd) {
                close(opened);
            }
        }
    }
}

// Keys unechoed and unbuffered. ISIG stays so that Ctrl+C raises SIGINT, and
// OPOST so that "\n" still ends a row as CR LF.
void enterRawMode() {
    if (tcgetattr(STDIN_FILENO, &savedModes) != 0) {
        return;
    }
    struct termios raw = savedModes;
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    rawModes = raw;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
        rawModeOn = 1;
    }
}

void enterAlternateScreen() {
    std::fputs(kEnterSequence, stdout);
    alternateScreenOn = 1;
    conioSendAttribute();
}

// The real terminal's size; false without a terminal on standard output or
// when it does not tell its size.
bool realTerminalSize(int* cols, int* rows) {
    struct winsize ws {};
    if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 ||
        ws.ws_row == 0) {
        return false;
    }
    *cols = ws.ws_col;
    *rows = ws.ws_row;
    return true;
}

}  // namespace

bool conioTerminalSize(int* cols, int* rows) {
    return realTerminalSize(cols, rows);
}

bool conioScreenSize(int* cols, int* rows) {
    if (pretendCols > 0 && pretendRows > 0) {
        *cols = pretendCols;
        *rows = pretendRows;
        return true;
    }
    if (output == Output::Unknown) {
        output = isatty(STDOUT_FILENO) ? Output::Terminal : Output::Other;
    }
    if (output == Output::Other) {
        return false;
    }
    if (!sizeKnown) {
        sizeKnown = 1;
        if (!realTerminalSize(&knownCols, &knownRows)) {
            // A terminal that does not tell its size: assume the player's layout.
            knownCols = kConioNeededCols;
            knownRows = kConioNeededRows;
        }
    }
    *cols = knownCols;
    *rows = knownRows;
    return true;
}

void conioPretendTerminal(int cols, int rows) {
    pretendCols = cols;
    pretendRows = rows;
    conioResetAttribute();
}

void conioPretendResize() {
    resized = 1;
    wakeForResize();
}

void conioStart() {
    if (started) {
        return;
    }
    started = true;
    claimStandardStreams();
    // Buffering can be chosen only before anything is written to the stream.
    // On a terminal the output is buffered and flushed before every key read
    // and every sleep, so the screen is complete whenever the program waits;
    // elsewhere it is unbuffered, so nothing is held back.
    if (isatty(STDOUT_FILENO)) {
        std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
    } else {
        std::setvbuf(stdout, nullptr, _IONBF, 0);
    }
    if (isatty(STDIN_FILENO)) {
        enterRawMode();
    }
    if (isatty(STDOUT_FILENO)) {
        enterAlternateScreen();
    }
    installHandlers();
    std::atexit(conioRestore);
}

void conioRestore() {
    std::fflush(stdout);
    restoreTerminalModes();
    conioResetAttribute();
}

int conioTakeEndSignals() {
    if (endPipe[0] >= 0) {
        return endPipe[0];
    }
    if (pipe2(endPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        endPipe[0] = endPipe[1] = -1;
        return -1;
    }
    for (int signo : kOrderlyEndSignals) {
        // Only where the player's end is installed: an ignored SIGHUP
        // (nohup) stays ignored.
        struct sigaction current {};
        if (sigaction(signo, nullptr, &current) == 0 && current.sa_handler == onFatalSignal) {
            installHandler(signo, onEndRequest, SA_RESTART);
        }
    }
    return endPipe[0];
}

int conioResizeDescriptor() {
    return resizeWakeup[0];
}

void conioTakeResizeWakeup() {
    char bytes[64];
    while (resizeWakeup[0] >= 0 && read(resizeWakeup[0], bytes, sizeof bytes) > 0) {
    }
}

bool conioTakeResize() {
    if (!resized) {
        return false;
    }
    resized = 0;
    if (reentered) {
        reentered = 0;
        conioSendAttribute();
    }
    return true;
}
