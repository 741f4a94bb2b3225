// Output through an ALSA device: "default", which reaches PulseAudio or
// PipeWire on a desktop, unless told otherwise. The device is driven in
// non-blocking mode with bounded waits, so that a stalled device ends the
// track instead of hanging the thread that has to stop it.
#pragma once

#include <alsa/asoundlib.h>

#include "platform/mci/audiosink.h"

namespace mci {

class AlsaSink final : public AudioSink {
  public:
    explicit AlsaSink(const char* device = "default") : device_(device) {}
    ~AlsaSink() override;
    AlsaSink(const AlsaSink&) = delete;
    AlsaSink& operator=(const AlsaSink&) = delete;

    // Fails at once, without blocking, when the device is busy or absent.
    int open(long rate, int channels) override;
    int write(const float* frames, std::size_t count) override;
    long delay() override;
    void drain() override;
    void drop() override;
    void close() override;
    const char* name() const override { return "ALSA default"; }

  private:
    int waitForRoom(int* stalledMs);

    const char* device_;
    snd_pcm_t* pcm_ = nullptr;
    long rate_ = 0;
    int channels_ = 0;
};

// Silences ALSA's own error printing for the whole process: while the
// player's screen is up, no library may write to the terminal.
void silenceAlsaErrors();

}  // namespace mci
