#include "platform/mci/clock.h"

#include <atomic>

namespace mci {

namespace {

class SystemClock final : public EngineClock {
  public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                   TimePoint deadline) override {
        if (deadline == TimePoint::max()) {
            changed.wait(lock);
        } else {
            changed.wait_until(lock, deadline);
        }
    }
    void notify(std::condition_variable& changed) override { changed.notify_all(); }
};

std::atomic<EngineClock*> chosen{nullptr};

}  // namespace

EngineClock& systemClock() {
    static SystemClock* clock = new SystemClock;  // outlives the engine at exit
    return *clock;
}

EngineClock& engineClock() {
    EngineClock* clock = chosen.load(std::memory_order_acquire);
    return clock != nullptr ? *clock : systemClock();
}

void useEngineClock(EngineClock* clock) {
    chosen.store(clock, std::memory_order_release);
}

}  // namespace mci
