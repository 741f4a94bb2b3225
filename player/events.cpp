#include "player/events.h"

#include <errno.h>
#include <poll.h>

#include "platform/mci/mci.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

struct Watch {
    int fd = -1;  // -1 marks a free place
    EventHandler onReadable = nullptr;
    void* context = nullptr;
};

// The loop's own record: what it watches, and how many events it handled.
constexpr int kMostWatches = 6;
struct EventLoop {
    Watch watches[kMostWatches];
    unsigned handled = 0;
};
EventLoop loop;

// Calls the handler of each watched descriptor that poll found ready. One
// that hung up or is no longer open is dropped after its handler ran, so that
// it cannot keep every later wait from sleeping.
bool dispatch(const struct pollfd* ready, int count) {
    bool any = false;
    for (int i = 0; i < count; ++i) {
        if (ready[i].revents == 0) {
            continue;
        }
        for (Watch& watch : loop.watches) {
            if (watch.fd != ready[i].fd) {
                continue;
            }
            const Watch called = watch;  // the handler may unwatch it
            called.onReadable(called.context);
            ++loop.handled;
            if ((ready[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                unwatchDescriptor(called.fd);
            }
            any = true;
        }
    }
    return any;
}

// The one poll of the process: the keyboard and every watched descriptor.
ConioWake waitOnAll(int inputFd, int timeoutMs) {
    struct pollfd fds[1 + kMostWatches] = {};
    int count = 0;
    fds[count++] = {inputFd, POLLIN, 0};
    for (const Watch& watch : loop.watches) {
        if (watch.fd >= 0) {
            fds[count++] = {watch.fd, POLLIN, 0};
        }
    }
    const int ready = poll(fds, static_cast<nfds_t>(count), timeoutMs);
    if (ready < 0) {
        return errno == EINTR ? ConioWake::Interrupted : ConioWake::Nothing;
    }
    if (ready == 0) {
        return ConioWake::Nothing;
    }
    const bool event = dispatch(fds + 1, count - 1);
    if (fds[0].revents != 0) {
        return ConioWake::Input;
    }
    return event ? ConioWake::Event : ConioWake::Nothing;
}

// The engine's signal that a track played to its end; taking it is all that
// is needed, since the command loop's next mode query finds the track
// stopped.
void takeTrackEnd(void*) {
    mciTakeNotify();
}

// The terminal's new size is taken by the screens; the wait only ends.
void takeResizeWakeup(void*) {
    conioTakeResizeWakeup();
}

}  // namespace

void startEventLoop() {
    watchDescriptor(mciNotifyDescriptor(), takeTrackEnd, nullptr);
    watchDescriptor(conioResizeDescriptor(), takeResizeWakeup, nullptr);
    conioSetWait(waitOnAll);
}

bool watchDescriptor(int fd, EventHandler onReadable, void* context) {
    if (fd < 0 || onReadable == nullptr) {
        return false;
    }
    unwatchDescriptor(fd);
    for (Watch& watch : loop.watches) {
        if (watch.fd < 0) {
            watch = {fd, onReadable, context};
            return true;
        }
    }
    return false;
}

void unwatchDescriptor(int fd) {
    for (Watch& watch : loop.watches) {
        if (watch.fd == fd) {
            watch = {};
        }
    }
}

unsigned eventCount() {
    return loop.handled;
}
