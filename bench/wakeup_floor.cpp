// Does no work at all, only wakes at the rhythm a playing player keeps: the
// main loop's key polls (150 ms, 150 ms and 100 ms a pass) and the playback
// thread's refills of the silent output (every 250 ms). Its CPU time is what
// those wake-ups cost on this machine, which a decode-only floor leaves out.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

namespace {

std::atomic<bool> stopping{false};

void waitForKey(int ms) {
    pollfd key{STDIN_FILENO, POLLIN, 0};
    if (poll(&key, 1, ms) > 0) {
        char drop[64];
        (void)!read(STDIN_FILENO, drop, sizeof drop);
    }
}

void refillRhythm() {
    auto next = std::chrono::steady_clock::now();
    while (!stopping.load()) {
        next += std::chrono::milliseconds(250);
        std::this_thread::sleep_until(next);
    }
}

}  // namespace

int main() {
    std::signal(SIGTERM, [](int) { stopping.store(true); });
    std::thread refill(refillRhythm);
    (void)!write(STDOUT_FILENO, "ready\n", 6);
    while (!stopping.load()) {
        waitForKey(150);
        waitForKey(150);
        waitForKey(100);
    }
    refill.join();
    return 0;
}
