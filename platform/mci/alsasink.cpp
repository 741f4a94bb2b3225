#include "platform/mci/alsasink.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace mci {

namespace {

// The device's buffer: enough to ride out a busy machine, short enough that
// a jump, a new speed or a new volume is heard within half a second.
constexpr unsigned kBufferMicroseconds = 300000;
// Its period, which a sound server takes for the rhythm at which it asks
// for more: each period costs it, us and the client library's own thread
// wake-ups. Through PulseAudio, periods of 100 ms instead of 67 ms cost the
// player a fifth less CPU and the server a third less (bench/playback).
constexpr unsigned kPeriodMicroseconds = 100000;

// How long the device's delay, once asked, is worked out from the clock
// instead of asking again. Asking a sound server's plugin takes its lock
// and a look at the stream's timing; the clock is as good in between.
constexpr auto kDelayLookEvery = std::chrono::milliseconds(50);

// Longest single wait for room: longer than any period, so that a device
// that wants a period each period wakes the writer once for it. A device may
// take far longer to want audio (a sound server starting a stream can take a
// second or two); after each wait the write is simply tried again.
constexpr int kWaitMs = 500;
// What a drain waits beyond the delay the device reports.
constexpr int kDrainSlackMs = 50;

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

bool isRecoverable(int error) {
    return error == -EPIPE || error == -ESTRPIPE;  // underrun, suspend
}

}  // namespace

void silenceAlsaErrors() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(ignoreAlsaError); });
}

AlsaSink::~AlsaSink() {
    close();
}

void toSixteenBit(const float* samples, std::size_t count, std::int16_t* out) {
    for (std::size_t i = 0; i < count; ++i) {
        const float scaled = samples[i] * 32768.0f;
        const float clipped = std::min(std::max(scaled, -32768.0f), 32767.0f);
        // Half a step away from zero, then cut towards it: rounded to the
        // nearest without a call per sample (std::lrint is not inlined).
        out[i] = static_cast<std::int16_t>(clipped + std::copysign(0.5f, clipped));
    }
}

int AlsaSink::open(long rate, int channels) {
    close();
    silenceAlsaErrors();
    if (!interruptEvent_.valid()) {
        interruptEvent_ = UniqueFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
        if (!interruptEvent_.valid()) {
            return errno;
        }
    }
    int error = snd_pcm_open(&pcm_, device_, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (error < 0) {
        pcm_ = nullptr;
        return -error;
    }
    if (error = configure(rate, channels); error < 0) {
        close();
        return -error;
    }
    rate_ = rate;
    channels_ = channels;
    frameBytes_ = static_cast<std::size_t>(snd_pcm_format_physical_width(format_) / 8 * channels);
    forgetDelay();
    return 0;
}

// 16-bit frames when the device takes them, else float; the buffer and the
// period as near the wished ones as the device allows (it keeps its own
// choice where it has one); the stream starts once the buffer is full and a
// write waits for a whole period of room.
int AlsaSink::configure(long rate, int channels) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int error = snd_pcm_hw_params_any(pcm_, hw);
    if (error < 0) {
        return error;
    }
    snd_pcm_hw_params_set_rate_resample(pcm_, hw, 1);
    format_ = SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_hw_params_test_format(pcm_, hw, format_) < 0) {
        format_ = SND_PCM_FORMAT_FLOAT_LE;
    }
    if ((error = snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
        (error = snd_pcm_hw_params_set_format(pcm_, hw, format_)) < 0 ||
        (error = snd_pcm_hw_params_set_channels(pcm_, hw, static_cast<unsigned>(channels))) < 0 ||
        (error = snd_pcm_hw_params_set_rate(pcm_, hw, static_cast<unsigned>(rate), 0)) < 0) {
        return error;
    }
    unsigned bufferUs = kBufferMicroseconds;
    unsigned periodUs = kPeriodMicroseconds;
    snd_pcm_hw_params_set_buffer_time_near(pcm_, hw, &bufferUs, nullptr);
    snd_pcm_hw_params_set_period_time_near(pcm_, hw, &periodUs, nullptr);
    if ((error = snd_pcm_hw_params(pcm_, hw)) < 0 ||
        (error = snd_pcm_hw_params_get_buffer_size(hw, &buffer_)) < 0 ||
        (error = snd_pcm_hw_params_get_period_size(hw, &period_, nullptr)) < 0) {
        return error;
    }
    period_ = std::max<snd_pcm_uframes_t>(period_, 1);
    canPause_ = snd_pcm_hw_params_can_pause(hw) != 0;
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    if ((error = snd_pcm_sw_params_current(pcm_, sw)) < 0 ||
        (error = snd_pcm_sw_params_set_start_threshold(pcm_, sw, buffer_ / period_ * period_)) <
            0 ||
        (error = snd_pcm_sw_params_set_avail_min(pcm_, sw, period_)) < 0) {
        return error;
    }
    return snd_pcm_sw_params(pcm_, sw);
}

bool AlsaSink::interrupted() const {
    return interrupted_.load(std::memory_order_acquire);
}

// Waits until the device may take frames, the device reports a state that
// the next write has to deal with, or the wait is interrupted (ECANCELED).
// A device that merely takes its time is never given up on: only its own
// error ends the track.
int AlsaSink::waitForRoom() {
    if (!paused_ && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
        // Full before it started: a device whose start threshold lies beyond
        // the room it offers (a sound server's plugin can do this) would
        // otherwise wait for a start that never comes.
        snd_pcm_start(pcm_);
    }
    const int count = snd_pcm_poll_descriptors_count(pcm_);
    if (count <= 0) {
        return EIO;
    }
    std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
    if (snd_pcm_poll_descriptors(pcm_, fds.data(), static_cast<unsigned>(count)) != count) {
        return EIO;
    }
    pollfd& event = fds[static_cast<std::size_t>(count)];
    event = {interruptEvent_.get(), POLLIN, 0};
    const int ready = poll(fds.data(), fds.size(), kWaitMs);
    if (ready < 0) {
        return errno == EINTR ? 0 : errno;
    }
    if ((event.revents & POLLIN) != 0) {
        return ECANCELED;
    }
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_DISCONNECTED) {
        return ENODEV;
    }
    unsigned short revents = 0;
    if (ready > 0 && snd_pcm_poll_descriptors_revents(pcm_, fds.data(),
                                                      static_cast<unsigned>(count), &revents) < 0) {
        return EIO;
    }
    if ((revents & POLLERR) != 0 && snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING) {
        // An error flag on a running stream that the write does not see: do
        // not spin on it, give the device the rest of the wait.
        poll(&event, 1, kWaitMs);
    }
    return 0;
}

// An underrun or a suspend is recovered once in a row; anything else, or a
// recovery that fails, is the device's failure.
int AlsaSink::recoverFrom(int error, bool* recovered) {
    if (!isRecoverable(error) || *recovered || snd_pcm_recover(pcm_, error, 1) < 0) {
        return -error;
    }
    *recovered = true;
    return 0;
}

void AlsaSink::stage(const float* frames, std::size_t count) {
    const std::size_t at = staged_.size();
    staged_.resize(at + count * frameBytes_);
    const std::size_t samples = count * static_cast<std::size_t>(channels_);
    if (format_ == SND_PCM_FORMAT_S16_LE) {
        toSixteenBit(frames, samples, reinterpret_cast<std::int16_t*>(staged_.data() + at));
    } else {
        std::memcpy(staged_.data() + at, frames, samples * sizeof(float));
    }
}

// Writes the first count staged frames, waiting for room as long as it
// takes; what was written leaves the stage, also when the wait ends early.
// The write waits for room for a whole period (or the rest) first, so that
// the device, and a sound server's client library, take one write a period
// and not a sliver and then the rest.
int AlsaSink::pushStaged(std::size_t count) {
    bool recovered = false;
    std::size_t written = 0;
    int error = 0;
    while (written < count && error == 0) {
        if (interrupted()) {
            error = ECANCELED;
            break;
        }
        const std::size_t wanted = std::min<std::size_t>(count - written, period_);
        const snd_pcm_sframes_t room = snd_pcm_avail_update(pcm_);
        if (room >= 0 && static_cast<std::size_t>(room) < wanted) {
            error = waitForRoom();
            continue;
        }
        const snd_pcm_sframes_t done =
            snd_pcm_writei(pcm_, staged_.data() + written * frameBytes_, count - written);
        if (done == -EAGAIN) {
            error = waitForRoom();
        } else if (done == -EINTR) {
        } else if (done < 0) {
            error = recoverFrom(static_cast<int>(done), &recovered);
        } else {
            written += static_cast<std::size_t>(done);
            recovered = false;
        }
    }
    staged_.erase(staged_.begin(), staged_.begin() + static_cast<long>(written * frameBytes_));
    lastDelay_ += static_cast<long>(written);
    return error;
}

// Whole periods go to the device as they fill up; the rest waits for the
// next write, unless the device runs short (at the start, or after the
// writer fell behind), when everything goes at once.
int AlsaSink::write(const float* frames, std::size_t count) {
    if (pcm_ == nullptr) {
        return EBADF;
    }
    if (count == 0) {
        return letOutStaged();
    }
    stage(frames, count);
    const std::size_t staged = staged_.size() / frameBytes_;
    std::size_t due = staged / period_ * period_;
    if (due < staged && deviceDelay() < static_cast<long>(buffer_ / 2)) {
        due = staged;
    }
    return due > 0 ? pushStaged(due) : 0;
}

// A write of nothing: the writer has no more for now, so what waits for a
// whole period goes out, and a stream that never filled its buffer starts.
int AlsaSink::letOutStaged() {
    const int error = pushStaged(staged_.size() / frameBytes_);
    if (error == 0 && !paused_ && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED &&
        deviceDelay() > 0) {
        snd_pcm_start(pcm_);
        forgetDelay();
    }
    return error;
}

// The device's delay: asked at most every kDelayLookEvery, worked out from
// the clock in between while the stream runs.
long AlsaSink::deviceDelay() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDelayAt_ >= kDelayLookEvery) {
        snd_pcm_sframes_t frames = 0;
        if (snd_pcm_delay(pcm_, &frames) < 0 || frames < 0) {
            frames = 0;
        }
        lastDelay_ = static_cast<long>(frames);
        lastDelayAt_ = now;
        lastRunning_ = snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING;
        return lastDelay_;
    }
    if (!lastRunning_) {
        return lastDelay_;
    }
    const std::chrono::duration<double> since = now - lastDelayAt_;
    return std::max(0L, lastDelay_ - static_cast<long>(since.count() * static_cast<double>(rate_)));
}

// The next delay() asks the device.
void AlsaSink::forgetDelay() {
    lastDelay_ = 0;
    lastRunning_ = false;
    lastDelayAt_ = {};
}

long AlsaSink::delay() {
    if (pcm_ == nullptr) {
        return 0;
    }
    return deviceDelay() + static_cast<long>(staged_.size() / frameBytes_);
}

// Waits for the queued frames to be heard, for as long as they last and a
// little more, in one wait that interrupt() ends; then makes the device ready
// for more. The device's own drain is not used: it cannot be interrupted,
// and a sound server's stream that ran dry may hold a last sliver below its
// start threshold for ever.
void AlsaSink::drain() {
    if (pcm_ == nullptr) {
        return;
    }
    if (pushStaged(staged_.size() / frameBytes_) == 0) {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
            snd_pcm_start(pcm_);  // less than a buffer was ever written
        }
        forgetDelay();
        const long ms = deviceDelay() * 1000 / rate_;
        if (ms > 0) {
            pollfd event{interruptEvent_.get(), POLLIN, 0};
            poll(&event, 1, static_cast<int>(ms + kDrainSlackMs));
        }
    }
    drop();
}

void AlsaSink::drop() {
    staged_.clear();
    paused_ = false;
    if (pcm_ != nullptr) {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }
    forgetDelay();
}

// A stream that has not started yet is paused by not starting it.
bool AlsaSink::pause(bool on) {
    if (pcm_ == nullptr || !canPause_) {
        return false;
    }
    const snd_pcm_state_t state = snd_pcm_state(pcm_);
    if (state == (on ? SND_PCM_STATE_RUNNING : SND_PCM_STATE_PAUSED) &&
        snd_pcm_pause(pcm_, on ? 1 : 0) < 0) {
        return false;
    }
    paused_ = on;
    forgetDelay();
    return true;
}

void AlsaSink::close() {
    staged_.clear();
    paused_ = false;
    if (pcm_ != nullptr) {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }
}

void AlsaSink::interrupt() {
    const std::uint64_t one = 1;
    interrupted_.store(true, std::memory_order_release);
    if (interruptEvent_.valid()) {
        (void)!::write(interruptEvent_.get(), &one, sizeof one);
    }
}

void AlsaSink::rearm() {
    std::uint64_t count = 0;
    interrupted_.store(false, std::memory_order_release);
    if (interruptEvent_.valid()) {
        (void)!::read(interruptEvent_.get(), &count, sizeof count);
    }
}

}  // namespace mci
