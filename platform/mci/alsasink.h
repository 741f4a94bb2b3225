// Output through ALSA's "default" device, which reaches PulseAudio or
// PipeWire on a desktop.
#pragma once

#include <alsa/asoundlib.h>

#include "platform/mci/audiosink.h"

namespace mci {

class AlsaSink final : public AudioSink {
  public:
    AlsaSink() = default;
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
    int recover(int error);

    snd_pcm_t* pcm_ = nullptr;
    int channels_ = 0;
};

// Silences ALSA's own error printing for the whole process: while the
// player's screen is up, no library may write to the terminal.
void silenceAlsaErrors();

}  // namespace mci
