// Output through an ALSA device: "default", which reaches PulseAudio or
// PipeWire on a desktop, unless told otherwise. The frames go out as 16-bit
// integers, rounded and clipped, which is what a sound server mixes in
// (32-bit float only for a device that takes no 16-bit), in a buffer of
// about 300 ms that is refilled a period (a third of it) at a time: each write
// and each period costs the server a wake-up, so few and large ones keep
// its cost and ours down. The device is driven in
// non-blocking mode; a write waits on the device's own poll descriptors
// together with an event that interrupt() raises, so that a device that is
// slow to start or stalls for a while is waited for as long as it takes,
// while a stop still ends the wait at once.
#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/mci/audiosink.h"
#include "platform/mci/uniquefd.h"

namespace mci {

class AlsaSink final : public AudioSink {
  public:
    explicit AlsaSink(const char* device = "default") : device_(device) {}
    ~AlsaSink() override;
    AlsaSink(const AlsaSink&) = delete;
    AlsaSink& operator=(const AlsaSink&) = delete;

    // Fails at once, without blocking, when the device is busy or absent.
    int open(long rate, int channels) override;
    // Fails only when the device reports an error it cannot recover from
    // (it was unplugged, its server went away), or with ECANCELED after
    // interrupt(). A write of no frames sends at once what it keeps back
    // for a whole period.
    int write(const float* frames, std::size_t count) override;
    long delay() override;
    void drain() override;
    void drop() override;
    // Through a sound server's plugin this holds the server's stream, so
    // that it need not be started afresh.
    bool pause(bool on) override;
    void close() override;
    void interrupt() override;
    void rearm() override;
    const char* name() const override { return "ALSA default"; }

  private:
    int configure(long rate, int channels);
    void stage(const float* frames, std::size_t count);
    int pushStaged(std::size_t count);
    int letOutStaged();
    int waitForRoom();
    int recoverFrom(int error, bool* recovered);
    bool interrupted() const;
    long deviceDelay();
    void forgetDelay();

    const char* device_;
    snd_pcm_t* pcm_ = nullptr;
    UniqueFd interruptEvent_;  // readable while interrupted, until rearm(): ends a wait
    std::atomic<bool> interrupted_{false};  // the same, for a look between writes
    long rate_ = 0;
    int channels_ = 0;
    snd_pcm_format_t format_ = SND_PCM_FORMAT_UNKNOWN;
    std::size_t frameBytes_ = 0;
    snd_pcm_uframes_t period_ = 0;
    snd_pcm_uframes_t buffer_ = 0;
    bool canPause_ = false;
    bool paused_ = false;
    // Frames in the device's format that wait for a whole period, so that
    // the device (and a sound server behind it) gets one large write a
    // period instead of one per chunk of the caller.
    std::vector<unsigned char> staged_;
    // The device's delay at its last query and when it was taken: between
    // queries it is worked out from the clock.
    long lastDelay_ = 0;
    bool lastRunning_ = false;
    std::chrono::steady_clock::time_point lastDelayAt_{};
};

// Float samples (full scale -1 to 1) as 16-bit integers: rounded to the
// nearest, clipped at full scale.
void toSixteenBit(const float* samples, std::size_t count, std::int16_t* out);

// Silences ALSA's own error printing for the whole process: while the
// player's screen is up, no library may write to the terminal.
void silenceAlsaErrors();

}  // namespace mci
