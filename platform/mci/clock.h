// The one clock the engine reads time through. The output paces playback;
// the clock only times what goes on beside it (how far the device has played
// since its last report, how long an idle output stays open). Tests put a
// virtual clock in its place, so that they never wait for audio.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace mci {

class EngineClock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~EngineClock() = default;
    virtual TimePoint now() = 0;
    // Waits on changed, with lock held around the wait as for
    // condition_variable::wait, until notify() or until deadline.
    virtual void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                           TimePoint deadline) = 0;
    // Wakes the waits on changed; the caller holds the waiters' mutex.
    virtual void notify(std::condition_variable& changed) = 0;
};

// The system's steady clock.
EngineClock& systemClock();

// The clock of the engine and of the outputs that tests make: the system's,
// unless a test set another before the engine started.
EngineClock& engineClock();
void useEngineClock(EngineClock* clock);

}  // namespace mci
