#include "platform/mci/alsasink.h"

#include <cerrno>
#include <mutex>

namespace mci {

namespace {

// Latency asked of the device: enough to ride out a busy machine, short
// enough that a speed change or a jump is heard soon.
constexpr unsigned kLatencyMicroseconds = 100000;

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
    int error = snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (error < 0) {
        pcm_ = nullptr;
        return -error;
    }
    error = snd_pcm_nonblock(pcm_, 0);
    if (error >= 0) {
        error = snd_pcm_set_params(pcm_, SND_PCM_FORMAT_FLOAT_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                                   static_cast<unsigned>(channels), static_cast<unsigned>(rate), 1,
                                   kLatencyMicroseconds);
    }
    if (error < 0) {
        close();
        return -error;
    }
    channels_ = channels;
    return 0;
}

// An underrun or a suspend is recovered once; anything else is reported.
int AlsaSink::recover(int error) {
    return snd_pcm_recover(pcm_, error, 1);
}

int AlsaSink::write(const float* frames, std::size_t count) {
    if (pcm_ == nullptr) {
        return EBADF;
    }
    bool recovered = false;
    while (count > 0) {
        const snd_pcm_sframes_t done = snd_pcm_writei(pcm_, frames, count);
        if (done == -EAGAIN || done == -EINTR) {
            continue;
        }
        if (done < 0) {
            if (recovered || recover(static_cast<int>(done)) < 0) {
                return static_cast<int>(-done);
            }
            recovered = true;
            continue;
        }
        frames += done * channels_;
        count -= static_cast<std::size_t>(done);
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

void AlsaSink::drain() {
    if (pcm_ != nullptr) {
        snd_pcm_drain(pcm_);
        snd_pcm_prepare(pcm_);
    }
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
