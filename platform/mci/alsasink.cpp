#include "platform/mci/alsasink.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

namespace mci {

namespace {

// Latency asked of the device: enough to ride out a busy machine, short
// enough that a speed change or a jump is heard soon.
constexpr unsigned kLatencyMicroseconds = 100000;

// Longest single wait for room, and how long a device may take nothing
// before it counts as failed.
constexpr int kWaitMs = 100;
constexpr int kStallLimitMs = 1000;
constexpr int kDrainPollMs = 5;

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void silenceAlsaErrors() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(ignoreAlsaError); });
}

AlsaSink::~AlsaSink() {
    close();
}

int AlsaSink::open(long rate, int channels) {
    close();
    silenceAlsaErrors();
    int error = snd_pcm_open(&pcm_, device_, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (error < 0) {
        pcm_ = nullptr;
        return -error;
    }
    error = snd_pcm_set_params(pcm_, SND_PCM_FORMAT_FLOAT_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                               static_cast<unsigned>(channels), static_cast<unsigned>(rate), 1,
                               kLatencyMicroseconds);
    if (error < 0) {
        close();
        return -error;
    }
    rate_ = rate;
    channels_ = channels;
    return 0;
}

// Waits until the device takes more frames. A device that takes nothing for
// kStallLimitMs is failing: better to end the track than to hang.
int AlsaSink::waitForRoom(int* stalledMs) {
    if (snd_pcm_wait(pcm_, kWaitMs) <= 0) {
        *stalledMs += kWaitMs;
    }
    return *stalledMs >= kStallLimitMs ? ETIMEDOUT : 0;
}

int AlsaSink::write(const float* frames, std::size_t count) {
    if (pcm_ == nullptr) {
        return EBADF;
    }
    bool recovered = false;
    int stalledMs = 0;
    while (count > 0) {
        const snd_pcm_sframes_t done = snd_pcm_writei(pcm_, frames, count);
        if (done == -EAGAIN) {
            if (const int error = waitForRoom(&stalledMs); error != 0) {
                return error;
            }
            continue;
        }
        if (done == -EINTR) {
            continue;
        }
        if (done < 0) {
            // An underrun or a suspend is recovered once; anything else is reported.
            if (recovered || snd_pcm_recover(pcm_, static_cast<int>(done), 1) < 0) {
                return static_cast<int>(-done);
            }
            recovered = true;
            continue;
        }
        frames += done * channels_;
        count -= static_cast<std::size_t>(done);
        stalledMs = 0;
    }
    return 0;
}

long AlsaSink::delay() {
    snd_pcm_sframes_t frames = 0;
    if (pcm_ == nullptr || snd_pcm_delay(pcm_, &frames) < 0 || frames < 0) {
        return 0;
    }
    return static_cast<long>(frames);
}

// Waits for the queued frames to be heard, at most as long as they last and
// a little more, then makes the device ready for the next track.
void AlsaSink::drain() {
    if (pcm_ == nullptr) {
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(delay() * 1000 / rate_ + kWaitMs);
    while (delay() > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kDrainPollMs));
    }
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
}

void AlsaSink::drop() {
    if (pcm_ != nullptr) {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }
}

void AlsaSink::close() {
    if (pcm_ != nullptr) {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }
}

}  // namespace mci
