#include "platform/mci/silentsink.h"

#include <algorithm>
#include <cerrno>

namespace mci {

SilentSink::SilentSink(SilentClock clock) : clock_(clock) {}

int SilentSink::open(long rate, int channels) {
    if (rate <= 0 || channels <= 0) {
        return EINVAL;
    }
    rate_ = rate;
    running_ = false;
    written_ = 0;
    return 0;
}

long long SilentSink::playedFrames(Clock::time_point now) const {
    if (!running_ || clock_.clockRate <= 0) {
        return written_;
    }
    if (paused_) {
        now = pausedAt_;
    }
    const std::chrono::duration<double> elapsed = now - start_;
    const auto played = static_cast<long long>(elapsed.count() * rate_ * clock_.clockRate);
    return std::min(played, written_);
}

int SilentSink::write(const float*, std::size_t count) {
    const auto now = Clock::now();
    if (!running_) {
        running_ = true;
        start_ = now;
        written_ = 0;
    } else if (clock_.clockRate > 0 && playedFrames(now) >= written_) {
        // The writer fell behind and the "device" ran dry: like a card after
        // an underrun it starts again from what is written next.
        const std::chrono::duration<double> dry(written_ / (rate_ * clock_.clockRate));
        start_ = now - std::chrono::duration_cast<Clock::duration>(dry);
    }
    written_ += static_cast<long long>(count);
    if (delay() > static_cast<long>(kHighMarkSeconds * rate_)) {
        waitUntilQueuedAtMost(static_cast<long long>(kLowMarkSeconds * rate_));
    }
    return 0;
}

void SilentSink::waitUntilQueuedAtMost(long long frames) {
    if (clock_.clockRate <= 0) {
        return;
    }
    const long long excess = delay() - frames;
    if (excess > 0) {
        const std::chrono::duration<double> wait(excess / (rate_ * clock_.clockRate));
        std::unique_lock lock(waitMutex_);
        waitEnds_.wait_for(lock, wait, [this] { return interrupted_; });
    }
}

void SilentSink::interrupt() {
    {
        std::lock_guard lock(waitMutex_);
        interrupted_ = true;
    }
    waitEnds_.notify_all();
}

void SilentSink::rearm() {
    std::lock_guard lock(waitMutex_);
    interrupted_ = false;
}

long SilentSink::delay() {
    return static_cast<long>(written_ - playedFrames(Clock::now()));
}

void SilentSink::drain() {
    waitUntilQueuedAtMost(0);
    running_ = false;
    written_ = 0;
}

void SilentSink::drop() {
    running_ = false;
    paused_ = false;
    written_ = 0;
}

bool SilentSink::pause(bool on) {
    const auto now = Clock::now();
    if (on && !paused_) {
        pausedAt_ = now;
    } else if (!on && paused_) {
        start_ += now - pausedAt_;  // the time paused is not played
    }
    paused_ = on;
    return true;
}

void SilentSink::close() {
    drop();
}

}  // namespace mci
