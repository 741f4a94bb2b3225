// Output through an ALSA device: "default", which reaches PulseAudio or
// PipeWire on a desktop, unless told otherwise. The device is driven in
// non-blocking mode; a write waits on the device's own poll descriptors
// together with an event that interrupt() raises, so that a device that is
// slow to start or stalls for a while is waited for as long as it takes,
// while a stop still ends the wait at once.
#pragma once

#include <alsa/asoundlib.h>

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
    // interrupt().
    int write(const float* frames, std::size_t count) override;
    long delay() override;
    void drain() override;
    void drop() override;
    void close() override;
    void interrupt() override;
    void rearm() override;
    const char* name() const override { return "ALSA default"; }

  private:
    int waitForRoom();
    int recoverFrom(int error, bool* recovered);
    bool interrupted() const;

    const char* device_;
    snd_pcm_t* pcm_ = nullptr;
    UniqueFd interruptEvent_;  // readable while interrupted, until rearm()
    long rate_ = 0;
    int channels_ = 0;
};

// Silences ALSA's own error printing for the whole process: while the
// player's screen is up, no library may write to the terminal.
void silenceAlsaErrors();

}  // namespace mci
