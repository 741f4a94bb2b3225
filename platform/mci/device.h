// One open media device: an MP3 file that can be played, paused, stopped,
// moved to a position and sped up. While it plays, a thread of its own
// decodes and feeds the audio output; every method here returns at once.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/mci/audiosink.h"
#include "platform/mci/decoder.h"
#include "platform/mci/mp3length.h"
#include "platform/mci/tempo.h"
#include "platform/mci/uniquefd.h"

namespace mci {

enum class Mode { kStopped, kPlaying, kPaused };

class Device {
  public:
    // Opens the MP3 file at path (absolute, so that a later change of
    // directory does not matter) and sets *device. Only the file is opened;
    // decoder and audio output wait for the first play, so that a device
    // opened to be measured costs little. The playback thread opens the
    // output, so that play returns before a sound server has answered.
    static Failure open(const std::string& path, std::unique_ptr<Device>* device);

    // Stops the sound at once and releases thread, decoder and output.
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    Failure play();  // from the kept position; from the start after the track ran to its end
    Failure playFrom(long long ms);
    Failure pause();
    Failure resume();
    Failure stop();
    Failure setSpeed(int speed);  // thousandths of the normal speed

    Mode mode();
    long long positionMs();
    long long lengthMs() const { return facts_.lengthMs; }
    int speed() const { return speed_; }  // as last set, thousandths

  private:
    Device(UniqueFd file, const Mp3Facts& facts);

    // What the playback thread tells the command layer, under mutex_.
    struct Progress {
        long long heardFrames = 0;   // source frames heard since the start
        long long queuedFrames = 0;  // source frames handed to the output
        std::chrono::steady_clock::time_point stamp{};
        bool finished = false;      // played to the end and drained
        bool outputFailed = false;  // ended early because the output failed
    };

    Failure start(long long ms);
    Failure prepareDecoder();
    // What a halt does with the audio the output still holds: drop it, or
    // keep it when it plays out soon anyway.
    enum class Queued { kDrop, kKeepShortQueue };
    void halt(Queued queued = Queued::kDrop);
    void holdAtHeardPosition();
    void settleFinished();
    long long livePositionMs();
    long long framesToMs(long long frames) const;

    // The playback thread and its helpers.
    long long playableFrom(long long frame) const;
    void run(int speed, long long playable, PendingOutput pendingOutput);
    bool openOutput(PendingOutput& output);
    bool stopRequested() const { return stop_.load(std::memory_order_acquire); }
    void publish(long long writtenOut, double ratio);
    void drainInterruptibly(long long writtenOut, double ratio);

    UniqueFd file_;
    Mp3Facts facts_;
    // Used by the playback thread while it runs, by the command layer
    // otherwise; starting and joining the thread hand them over. The thread
    // sets sink_ under mutex_, where a halt looks for an output to interrupt.
    Decoder decoder_;
    std::unique_ptr<AudioSink> sink_;

    // Command-layer state.
    Mode mode_ = Mode::kStopped;
    bool ended_ = false;           // the track ran to its end: the next play starts over
    long long restMs_ = 0;         // position while not playing
    long long startMs_ = 0;        // where the running playback started
    int speed_ = kNormalSpeed;     // applies from the next start
    int runSpeed_ = kNormalSpeed;  // of the running playback
    std::thread thread_;

    std::chrono::steady_clock::time_point runStart_{};  // when the running playback started
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    Progress progress_;
};

}  // namespace mci
