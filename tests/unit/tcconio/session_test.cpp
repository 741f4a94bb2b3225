// The terminal session on a pseudo-terminal: every way out gives the terminal
// back, and a small window is asked to grow.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>

#include "pty_child.h"

namespace {

constexpr char kLeaveAlternateScreen[] = "\x1b[?1049l";

// Typed text echoes and waits for Enter again, as at a shell prompt.
void expectLineModesBack(const PtyChild& probe) {
    EXPECT_NE(probe.localModes() & ECHO, 0u);
    EXPECT_NE(probe.localModes() & ICANON, 0u);
}

void expectRestored(PtyChild& probe) {
    int status = probe.wait();
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    expectLineModesBack(probe);
    EXPECT_NE(probe.output().find(kLeaveAlternateScreen), std::string::npos);
    EXPECT_NE(probe.output().find("\x1b[?25h"), std::string::npos) << "cursor shown";
}

struct WayOut {
    const char* name;
    std::function<void(PtyChild&)> take;
};

void PrintTo(const WayOut& way, std::ostream* out) {
    *out << way.name;
}

class TerminalRestored : public ::testing::TestWithParam<WayOut> {};

TEST_P(TerminalRestored, AfterTheWayOut) {
    PtyChild probe("keys", 80, 25);
    probe.readUntil("READY\r\n");  // "\n" still ends a row as CR LF
    EXPECT_EQ(probe.localModes() & (ECHO | ICANON), 0u) << "raw while running";
    GetParam().take(probe);
    expectRestored(probe);
}

INSTANTIATE_TEST_SUITE_P(
    WaysOut, TerminalRestored,
    ::testing::Values(WayOut{"exit", [](PtyChild& p) { p.send("q"); }},
                      WayOut{"CtrlC", [](PtyChild& p) { p.send("\x03"); }},
                      WayOut{"SIGTERM", [](PtyChild& p) { p.signal(SIGTERM); }},
                      WayOut{"SIGHUP", [](PtyChild& p) { p.signal(SIGHUP); }},
                      // Every other signal whose default ends the program.
                      WayOut{"SIGQUIT", [](PtyChild& p) { p.signal(SIGQUIT); }},
                      WayOut{"SIGUSR1", [](PtyChild& p) { p.signal(SIGUSR1); }},
                      WayOut{"SIGUSR2", [](PtyChild& p) { p.signal(SIGUSR2); }},
                      WayOut{"SIGALRM", [](PtyChild& p) { p.signal(SIGALRM); }},
                      WayOut{"SIGPIPE", [](PtyChild& p) { p.signal(SIGPIPE); }},
                      WayOut{"SIGVTALRM", [](PtyChild& p) { p.signal(SIGVTALRM); }},
                      WayOut{"SIGPROF", [](PtyChild& p) { p.signal(SIGPROF); }},
                      WayOut{"SIGXCPU", [](PtyChild& p) { p.signal(SIGXCPU); }},
                      WayOut{"SIGXFSZ", [](PtyChild& p) { p.signal(SIGXFSZ); }},
                      WayOut{"SIGPOLL", [](PtyChild& p) { p.signal(SIGPOLL); }},
                      WayOut{"SIGPWR", [](PtyChild& p) { p.signal(SIGPWR); }},
                      WayOut{"SIGRTMIN", [](PtyChild& p) { p.signal(SIGRTMIN); }},
                      WayOut{"SIGRTMAX", [](PtyChild& p) { p.signal(SIGRTMAX); }}),
    [](const ::testing::TestParamInfo<WayOut>& info) { return info.param.name; });

// A crash still gives the terminal back, before the crash's own report (a
// sanitizer's, when there is one), and still ends the program as the crash
// would have: by the signal, or with the sanitizer's failure status.
class TerminalRestoredOnCrash : public ::testing::TestWithParam<WayOut> {};

TEST_P(TerminalRestoredOnCrash, BeforeTheCrashIsReported) {
    PtyChild probe("crash", 80, 25);
    probe.readUntil("READY\r\n");
    GetParam().take(probe);
    int status = probe.wait();
    EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0))
        << "status " << status;
    expectLineModesBack(probe);
    const std::string& output = probe.output();
    const auto left = output.find(kLeaveAlternateScreen);
    ASSERT_NE(left, std::string::npos);
    const auto report = output.find("Sanitizer");
    if (report != std::string::npos) {
        EXPECT_LT(left, report) << "the report must land on the shell's screen";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Crashes, TerminalRestoredOnCrash,
    ::testing::Values(WayOut{"Fault", [](PtyChild& p) { p.send("s"); }},
                      WayOut{"Abort", [](PtyChild& p) { p.send("a"); }},
                      WayOut{"SentSIGSEGV", [](PtyChild& p) { p.signal(SIGSEGV); }},
                      WayOut{"SentSIGBUS", [](PtyChild& p) { p.signal(SIGBUS); }},
                      WayOut{"SentSIGTRAP", [](PtyChild& p) { p.signal(SIGTRAP); }},
                      WayOut{"SentSIGSYS", [](PtyChild& p) { p.signal(SIGSYS); }}),
    [](const ::testing::TestParamInfo<WayOut>& info) { return info.param.name; });

// The probe leads its own session, so no shell could continue it after a
// stop: Ctrl+Z gives the terminal back and takes it over again at once.
TEST(Suspend, WithoutAShellTheTerminalIsTakenBackAtOnce) {
    PtyChild probe("keys", 80, 25);
    probe.readUntil("READY\r\n");
    probe.send("\x1a");
    probe.send("a");
    std::string shown = probe.readUntil("<97>");
    std::size_t left = shown.find(kLeaveAlternateScreen);
    ASSERT_NE(left, std::string::npos);
    EXPECT_NE(shown.find("\x1b[?1049h", left), std::string::npos) << "taken over again";
    EXPECT_EQ(probe.localModes() & (ECHO | ICANON), 0u) << "raw again";
    probe.send("q");
    expectRestored(probe);
}

TEST(RequireSize, SmallWindowAsksToGrowUntilAKey) {
    PtyChild probe("size", 70, 20);
    probe.readUntil("at least 80 x 25 (now 70 x 20)");
    probe.send("\x1b[A");  // the whole sequence is taken, not left as keys
    probe.readUntil("DONE kbhit=0 resized=0,0");
    expectRestored(probe);
}

TEST(RequireSize, TheRequestFitsOnOneLineOfANarrowWindow) {
    for (int cols : {79, 72, 60, 40}) {
        SCOPED_TRACE(cols);
        PtyChild probe("size", cols, 25);
        std::string shown = probe.readUntil("(now " + std::to_string(cols) + " x 25)");
        const auto home = shown.rfind("\x1b[H");  // the clear puts the cursor home
        ASSERT_NE(home, std::string::npos);
        const auto text = shown.substr(home + 3);
        EXPECT_LT(text.size(), static_cast<std::size_t>(cols)) << text;
        probe.send("k");
        probe.readUntil("DONE");
        expectRestored(probe);
    }
}

// The key that ends the wait may have been decoded before it began, as when
// the main loop's sleep took it just before a resize: the wait takes it from
// the key decoder, and takes it whole.
TEST(RequireSize, AKeyAlreadyDecodedEndsTheWait) {
    for (const char* key : {"x", "\x1b[A"}) {
        SCOPED_TRACE(key);
        PtyChild probe("keyfirst", 70, 20);
        probe.readUntil("READY\r\n");
        probe.send(key);
        probe.readUntil("DONE kbhit=0");
        expectRestored(probe);
    }
}

TEST(RequireSize, SmallWindowWaitsUntilItIsLargeEnough) {
    PtyChild probe("size", 70, 20);
    probe.readUntil("(now 70 x 20)");
    probe.resize(80, 24);
    probe.readUntil("(now 80 x 24)");
    probe.resize(100, 30);
    probe.readUntil("DONE kbhit=0 resized=1,0");
    expectRestored(probe);
}

TEST(RequireSize, LargeWindowGoesOnAtOnce) {
    PtyChild probe("size", 80, 25);
    std::string shown = probe.readUntil("DONE");
    EXPECT_EQ(shown.find("enlarge"), std::string::npos);
    expectRestored(probe);
}

// Runs the probe in its "streams" mode with the given standard streams
// closed, as `mp3 <&-` starts the player, the others on /dev/null; returns
// what it reports on descriptor 3.
std::string probeWithClosedStreams(std::initializer_list<int> closed) {
    int report[2];
    if (pipe(report) != 0) {
        return "pipe failed";
    }
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDWR);
        for (int fd : {0, 1, 2}) {
            dup2(devnull, fd);
        }
        if (report[1] != 3) {
            dup2(report[1], 3);
            close(report[1]);
        }
        if (report[0] != 3) {
            close(report[0]);
        }
        if (devnull > 3) {
            close(devnull);
        }
        for (int fd : closed) {
            close(fd);
        }
        execl(CONIO_PROBE, CONIO_PROBE, "streams", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(report[1]);
    std::string text;
    char buffer[256];
    ssize_t got;
    while ((got = read(report[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(report[0]);
    waitpid(pid, nullptr, 0);
    return text;
}

// A signal the player was started with ignored (SIGHUP under nohup) stays
// ignored: the player goes on, and leaves by its usual way.
TEST(EndingSignals, OneIgnoredAtStartStaysIgnored) {
    struct sigaction ignore {};
    struct sigaction before {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGHUP, &ignore, &before);
    PtyChild probe("keys", 80, 25);  // inherits the ignored SIGHUP
    sigaction(SIGHUP, &before, nullptr);
    probe.readUntil("READY\r\n");
    probe.signal(SIGHUP);
    probe.send("x");
    probe.readUntil("<120>");
    probe.send("q");
    expectRestored(probe);
}

// A standard stream closed at start would be the next file opened: a song
// read as keys, or the screen written into it.
TEST(StandardStreams, ClosedOnesAreOpenedOnDevNullAtStart) {
    for (auto closed : {std::initializer_list<int>{0}, {1}, {2}, {0, 1, 2}}) {
        SCOPED_TRACE(*closed.begin());
        int opened = -1;
        int open0 = 0;
        int open1 = 0;
        int open2 = 0;
        std::string report = probeWithClosedStreams(closed);
        ASSERT_EQ(std::sscanf(report.c_str(), "opened=%d open=%1d%1d%1d", &opened, &open0, &open1,
                              &open2),
                  4)
            << report;
        EXPECT_GT(opened, 3);
        EXPECT_EQ(open0 + open1 + open2, 3) << report;
    }
}

}  // namespace
