// Key translation, on a pseudo-terminal in raw mode and on a pipe.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <string>

#include "pty_child.h"
#include "tcconio/keyboard.h"

namespace {

struct KeyCase {
    const char* name;
    std::string bytes;
    const char* codes;  // as the probe prints them
};

const KeyCase kKeyCases[] = {
    {"up", "\x1b[A", "<224><72>"},
    {"down", "\x1b[B", "<224><80>"},
    {"right", "\x1b[C", "<224><77>"},
    {"left", "\x1b[D", "<224><75>"},
    {"up, application mode", "\x1bOA", "<224><72>"},
    {"right with Ctrl", "\x1b[1;5C", "<224><77>"},
    {"home", "\x1b[H", "<224><71>"},
    {"end", "\x1b[F", "<224><79>"},
    {"home, application mode", "\x1bOH", "<224><71>"},
    {"home as 1~", "\x1b[1~", "<224><71>"},
    {"end as 4~", "\x1b[4~", "<224><79>"},
    {"insert", "\x1b[2~", "<224><82>"},
    {"delete", "\x1b[3~", "<224><83>"},
    {"page up", "\x1b[5~", "<224><73>"},
    {"page down with Shift", "\x1b[6;2~", "<224><81>"},
    {"F1", "\x1bOP", "<0><59>"},
    {"F4 with Ctrl", "\x1b[1;5S", "<0><62>"},
    {"F1 of the Linux console", "\x1b[[A", "<0><59>"},
    {"F5", "\x1b[15~", "<0><63>"},
    {"F6", "\x1b[17~", "<0><64>"},
    {"F10", "\x1b[21~", "<0><68>"},
    {"DEL", "\x7f", "<8>"},
    {"Backspace", "\b", "<8>"},
    {"Enter", "\r", "<13>"},
    {"line feed", "\n", "<13>"},
    {"Tab", "\t", "<9>"},
    {"letters", "aZ7", "<97><90><55>"},
    {"UTF-8 byte by byte", "\xc3\xa9", "<195><169>"},
    {"Esc just before another key", "\x1bx", "<27><120>"},
    {"unknown final byte", "\x1b[99z", ""},
    {"unknown number", "\x1b[42~", ""},
    {"mouse report", "\x1b[<0;12;5M", ""},
    {"unknown SS3", "\x1bOz", ""},
    {"sequence broken by a control byte", "\x1b[1\x01", ""},
    {"overlong sequence", "\x1b[" + std::string(300, '1') + "~", ""},
    {"NUL", std::string(1, '\0'), ""},
};

TEST(KeysOnATerminal, SequencesBecomeConsoleCodes) {
    PtyChild probe("keys", 80, 25);
    probe.readUntil("READY\r\n");  // "\n" still ends a row as CR LF
    for (const KeyCase& key : kKeyCases) {
        // '#' after each key shows where its codes end.
        probe.send(key.bytes + "#");
        EXPECT_EQ(probe.readUntil("<35>"), std::string(key.codes) + "<35>") << key.name;
    }
    probe.send("q");
    probe.wait();
}

TEST(KeysOnATerminal, LoneEscIsToldApartByTheQuietAfterIt) {
    PtyChild probe("keys", 80, 25);
    probe.readUntil("READY\r\n");  // "\n" still ends a row as CR LF
    probe.send("\x1b");
    EXPECT_EQ(probe.readUntil("<27>"), "<27>");
    probe.send("[A");  // typed later: a bracket and a letter, no arrow
    EXPECT_EQ(probe.readUntil("<65>"), "<91><65>");
    probe.send("q");
    probe.wait();
}

// Standard input replaced by a pipe for the life of the fixture.
class KeysOnAPipe : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(pipe(pipe_), 0);
        savedStdin_ = dup(STDIN_FILENO);
        dup2(pipe_[0], STDIN_FILENO);
    }
    void TearDown() override {
        dup2(savedStdin_, STDIN_FILENO);
        close(savedStdin_);
        close(pipe_[0]);
        if (pipe_[1] >= 0) {
            close(pipe_[1]);
        }
    }
    void type(const std::string& bytes) {
        ASSERT_EQ(write(pipe_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void endInput() {
        close(pipe_[1]);
        pipe_[1] = -1;
    }

    int pipe_[2] = {-1, -1};
    int savedStdin_ = -1;
};

TEST_F(KeysOnAPipe, SleepUntilKeyWakesForKeysOnly) {
    EXPECT_FALSE(sleepUntilKey(10));
    type("\x1b[99z");  // dropped, so no key is waiting
    EXPECT_FALSE(sleepUntilKey(10));
    EXPECT_FALSE(_kbhit());
    type("k");
    EXPECT_TRUE(sleepUntilKey(60000));
    EXPECT_EQ(_getch(), 'k');
}

// A program's own wait, watching one event pipe beside the input.
int eventPipe = -1;
int eventsHandled = 0;
ConioWake waitWithEvents(int inputFd, int timeoutMs) {
    pollfd fds[] = {{inputFd, POLLIN, 0}, {eventPipe, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0) {
        return ConioWake::Nothing;
    }
    if (fds[1].revents != 0) {
        char byte;
        EXPECT_EQ(read(eventPipe, &byte, 1), 1);
        ++eventsHandled;
        return ConioWake::Event;
    }
    return ConioWake::Input;
}

// An event that the program's wait handles ends sleepUntilKey without a key,
// and no other wait: _kbhit leaves events alone, _getch waits on for a key.
TEST_F(KeysOnAPipe, TheProgramsWaitEndsOnlySleepUntilKey) {
    int events[2];
    ASSERT_EQ(pipe(events), 0);
    eventPipe = events[0];
    eventsHandled = 0;
    conioSetWait(waitWithEvents);
    ASSERT_EQ(write(events[1], ".", 1), 1);
    EXPECT_FALSE(_kbhit());
    EXPECT_EQ(eventsHandled, 0);
    EXPECT_FALSE(sleepUntilKey(60000));
    EXPECT_EQ(eventsHandled, 1);
    ASSERT_EQ(write(events[1], ".", 1), 1);
    type("k");  // both ready: the event is handled first
    EXPECT_EQ(_getch(), 'k');
    EXPECT_EQ(eventsHandled, 2);
    conioSetWait(nullptr);
    close(events[0]);
    close(events[1]);
}

TEST_F(KeysOnAPipe, KbhitReportsTheSecondCodeOfAnExtendedKey) {
    type("\x1b[D");
    EXPECT_TRUE(_kbhit());
    EXPECT_EQ(_getch(), 224);
    EXPECT_TRUE(_kbhit());
    EXPECT_EQ(_getch(), 75);
    EXPECT_FALSE(_kbhit());
}

TEST_F(KeysOnAPipe, EndOfInputEndsTheProgramAfterTheLastKey) {
    type("a\x1b[C");
    endInput();
    EXPECT_EXIT(
        {
            for (;;) {
                std::fprintf(stderr, "<%d>", _getch());
            }
        },
        ::testing::ExitedWithCode(1), "<97><224><77>Standard input has ended");
}

// In a child process, since the end of input stays for the rest of the run.
TEST_F(KeysOnAPipe, EndOfInputCountsAsAKeyWaiting) {
    endInput();
    EXPECT_EXIT(
        {
            if (_kbhit() && sleepUntilKey(60000)) {
                std::fputs("waiting ", stderr);
                _getch();
            }
        },
        ::testing::ExitedWithCode(1), "waiting Standard input has ended");
}

}  // namespace
