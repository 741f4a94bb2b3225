// The event loop on the real keyboard: standard input replaced by a pipe, and
// a second pipe watched beside it.

#include "player/events.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tcconio/conio_test_hooks.h"
#include "tcconio/keyboard.h"

namespace {

struct Pipe {
    Pipe() { EXPECT_EQ(pipe(fds), 0); }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    void closeEnd(int end) {
        if (fds[end] >= 0) {
            close(fds[end]);
            fds[end] = -1;
        }
    }
    void write(const char* byte) { ASSERT_EQ(::write(fds[1], byte, 1), 1); }
    int fds[2] = {-1, -1};
};

// A watched descriptor ends sleepUntilKey without a key, but not _getch; a
// hang-up is handled once, then no longer watched.
TEST(EventLoop, AWatchedDescriptorEndsTheSleepButNotTheWaitForAKey) {
    Pipe keys;
    const int savedStdin = dup(STDIN_FILENO);
    dup2(keys.fds[0], STDIN_FILENO);
    startEventLoop();
    Pipe events;
    struct Seen {
        int fd;
        int calls = 0;
    } seen{events.fds[0]};
    auto onReadable = [](void* context) {
        auto* s = static_cast<Seen*>(context);
        char byte;
        [[maybe_unused]] const ssize_t n = read(s->fd, &byte, 1);  // 0 after a hang-up
        ++s->calls;
    };
    ASSERT_TRUE(watchDescriptor(events.fds[0], onReadable, &seen));
    const unsigned before = eventCount();
    events.write(".");
    EXPECT_FALSE(_kbhit());
    EXPECT_EQ(seen.calls, 0);
    EXPECT_FALSE(sleepUntilKey(60000));
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(eventCount(), before + 1);
    events.write(".");
    keys.write("k");
    EXPECT_EQ(_getch(), 'k');
    events.closeEnd(1);
    EXPECT_FALSE(sleepUntilKey(60000));
    EXPECT_FALSE(sleepUntilKey(10));
    EXPECT_EQ(seen.calls, 3);
    unwatchDescriptor(events.fds[0]);
    dup2(savedStdin, STDIN_FILENO);
    close(savedStdin);
    conioForgetInput();
}

}  // namespace
