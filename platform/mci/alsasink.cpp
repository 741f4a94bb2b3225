#include "platform/mci/alsasink.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <vector>

namespace mci {

namespace {

// Latency asked of the device: enough to ride out a busy machine, short
// enough that a speed change or a jump is heard soon.
constexpr unsigned kLatencyMicroseconds = 100000;

// Longest single wait for room. A device may take far longer to want audio
// (a sound server starting a stream can take a second or two); after each
// wait the write is simply tried again.
constexpr int kWaitMs = 100;

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

bool AlsaSink::interrupted() const {
    pollfd event{interruptEvent_.get(), POLLIN, 0};
    return poll(&event, 1, 0) > 0;
}

// Waits until the device may take frames, the device reports a state that
// the next write has to deal with, or the wait is interrupted (ECANCELED).
// A device that merely takes its time is never given up on: only its own
// error ends the track.
int AlsaSink::waitForRoom() {
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
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

int AlsaSink::write(const float* frames, std::size_t count) {
    if (pcm_ == nullptr) {
        return EBADF;
    }
    bool recovered = false;
    while (count > 0) {
        if (interrupted()) {
            return ECANCELED;
        }
        const snd_pcm_sframes_t done = snd_pcm_writei(pcm_, frames, count);
        if (done == -EAGAIN) {
            if (const int error = waitForRoom(); error != 0) {
                return error;
            }
            continue;
        }
        if (done == -EINTR) {
            continue;
        }
        if (done < 0) {
            if (const int error = recoverFrom(static_cast<int>(done), &recovered); error != 0) {
                return error;
            }
            continue;
        }
        frames += done * channels_;
        count -= static_cast<std::size_t>(done);
        recovered = false;
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

// Waits for the queued frames to be heard, for as long as they last and a
// little more, in one wait that interrupt() ends; then makes the device ready
// for more. The device's own drain is not used: it cannot be interrupted,
// and a sound server's stream that ran dry may hold a last sliver below its
// start threshold for ever.
void AlsaSink::drain() {
    if (pcm_ == nullptr) {
        return;
    }
    const long ms = delay() * 1000 / rate_;
    if (ms > 0) {
        pollfd event{interruptEvent_.get(), POLLIN, 0};
        poll(&event, 1, static_cast<int>(ms + kWaitMs / 2));
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

void AlsaSink::interrupt() {
    const std::uint64_t one = 1;
    if (interruptEvent_.valid()) {
        (void)!::write(interruptEvent_.get(), &one, sizeof one);
    }
}

void AlsaSink::rearm() {
    std::uint64_t count = 0;
    if (interruptEvent_.valid()) {
        (void)!::read(interruptEvent_.get(), &count, sizeof count);
    }
}

}  // namespace mci
