// The audio output that the engine writes to (engine.h). One sink belongs
// to the engine and is used by its thread alone; only interrupt() comes from
// other threads.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>

namespace mci {

class AudioSink {
  public:
    virtual ~AudioSink() = default;

    // Prepares the output for interleaved 32-bit float frames. Returns 0 or
    // an errno value.
    virtual int open(long rate, int channels) = 0;
    // Queues frames, blocking while the output's buffer is full. Returns 0 or
    // an errno value.
    virtual int write(const float* frames, std::size_t count) = 0;
    // Frames queued but not yet heard.
    virtual long delay() = 0;
    // Lets the queued frames play out, then returns.
    virtual void drain() = 0;
    // Throws the queued frames away at once; the sink stays open for writing.
    virtual void drop() = 0;
    // Stops the output where it is (on) or lets it go on (off), keeping what
    // it holds; delay() stands still meanwhile. False when the output cannot
    // pause: the caller drops what it holds and writes it again instead.
    virtual bool pause(bool on) {
        (void)on;
        return false;
    }
    virtual void close() = 0;
    // Ends a wait of write() or drain() at once, and every later one, until
    // rearm(), so that a stop never waits for the output, however stalled it
    // is. Any thread may call it. What is queued stays queued.
    virtual void interrupt() = 0;
    virtual void rearm() = 0;
    // Names the output for people: "ALSA default", "silent, no device".
    virtual const char* name() const = 0;
};

// How a silent sink keeps time. Real time is what playback needs; a faster
// clock (or none at all, clockRate 0) lets benchmarks play a long track
// quickly while still going through the whole path.
struct SilentClock {
    double clockRate = 1.0;
};

// Opens the output for a device: ALSA's default device when it can be opened,
// otherwise a silent sink that consumes audio in real time. Never fails for
// want of a sound device; returns null only when even the silent sink cannot
// be prepared.
std::unique_ptr<AudioSink> openAudioSink(long rate, int channels);

// An output that the engine's thread is to open. From announce() until
// its open(), or its end when it is never opened, audioOutputName answers
// null rather than probing a device of its own beside the one being opened.
class PendingOutput {
  public:
    PendingOutput() = default;  // announces nothing
    static PendingOutput announce();
    PendingOutput(PendingOutput&& other) noexcept : active_(std::exchange(other.active_, false)) {}
    PendingOutput& operator=(PendingOutput&&) = delete;
    ~PendingOutput();

    // openAudioSink, which ends the announcement.
    std::unique_ptr<AudioSink> open(long rate, int channels);

  private:
    bool active_ = false;
};

// The output that openAudioSink chose last. When none has been opened yet:
// null while one is announced, otherwise what a quiet probe finds.
const char* audioOutputName();

// Makes openAudioSink skip ALSA and use a silent sink with the given clock,
// so that tests and benchmarks behave the same on every machine.
void forceSilentOutput(SilentClock clock);

// Makes openAudioSink return what factory makes, for tests that need an
// output that misbehaves. An empty factory goes back to the usual choice.
using SinkFactory = std::function<std::unique_ptr<AudioSink>(long rate, int channels)>;
void forceOutput(SinkFactory factory);

}  // namespace mci
