// A sink without a device: it consumes audio at the pace a sound card would,
// so that position, end of track and every screen behave as with sound.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/mci/audiosink.h"

namespace mci {

class SilentSink final : public AudioSink {
  public:
    // The writer fills the "device" up to the high mark and then sleeps until
    // it has played down to the low mark, as a writer to a sound card sleeps
    // until a period is free. Waking a little over once a second instead of once per
    // decoded chunk keeps the playback thread's cost close to the decoding:
    // each turn of decoding starts with cold caches, so a few long turns cost
    // less than many short ones.
    static constexpr double kHighMarkSeconds = 0.9;
    static constexpr double kLowMarkSeconds = 0.25;

    explicit SilentSink(SilentClock clock = {});

    int open(long rate, int channels) override;
    int write(const float* frames, std::size_t count) override;
    long delay() override;
    void drain() override;
    void drop() override;
    bool pause(bool on) override;
    void close() override;
    void interrupt() override;
    void rearm() override;
    const char* name() const override { return "silent, no device"; }

  private:
    using Clock = std::chrono::steady_clock;

    long long playedFrames(Clock::time_point now) const;
    void waitUntilQueuedAtMost(long long frames);

    SilentClock clock_;
    long rate_ = 0;
    bool running_ = false;  // the clock runs from the first write after open or drop
    Clock::time_point start_{};
    long long written_ = 0;  // frames accepted since start_
    bool paused_ = false;    // the clock stands at pausedAt_
    Clock::time_point pausedAt_{};

    std::mutex waitMutex_;
    std::condition_variable waitEnds_;
    bool interrupted_ = false;  // guarded by waitMutex_
};

}  // namespace mci
