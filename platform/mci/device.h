// One open media device: an MP3 file that can be played, paused, stopped,
// moved to a position and sped up. While it plays, a thread of its own
// decodes and queues the audio on an output stage; every method here returns
// at once. A track counts as ended once its last frame is queued; its output
// then goes on to the next track (see outputstage.h).
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/mci/decoder.h"
#include "platform/mci/mp3length.h"
#include "platform/mci/outputstage.h"
#include "platform/mci/replaygain.h"
#include "platform/mci/tempo.h"
#include "platform/mci/uniquefd.h"
#include "platform/mci/volume.h"

namespace mci {

enum class Mode { kStopped, kPlaying, kPaused };

// The descriptor that signalTrackEnd() makes readable, until
// takeTrackEnd(); -1 when it could not be made.
int trackEndDescriptor();
void signalTrackEnd();
void takeTrackEnd();

class Device {
  public:
    // Opens the MP3 file at path (absolute, so that a later change of
    // directory does not matter) and sets *device. Only the file is opened;
    // decoder and audio output wait for the first play, so that a device
    // opened to be measured costs little. The output stage opens the device
    // on its own thread, so that play returns before a sound server has
    // answered.
    static Failure open(const std::string& path, std::unique_ptr<Device>* device);

    // Stops the sound at once and releases thread, decoder and output.
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    Failure play();  // from the kept position; from the start after the track ran to its end
    // From now on, every playback of this device that ends by itself calls
    // signalTrackEnd(); a stop, a pause or a close ends one without.
    void notifyAtEnd() { notify_.store(true, std::memory_order_release); }
    Failure playFrom(long long ms);
    Failure pause();
    Failure resume();
    Failure stop();
    Failure setSpeed(int speed);  // thousandths of the normal speed
    // Thousandths of full (0 to 1000); heard as soon as the device's short
    // buffer has played out, without a restart.
    void setVolume(int volume);
    int volume() const { return volume_.load(std::memory_order_relaxed); }
    // The ReplayGain its samples play at, from the next one decoded.
    void setGainKind(GainKind kind);
    // "off", or the gain applied now (see describeGain).
    std::string gainText() const { return gain_.text(); }

    Mode mode();
    long long positionMs();
    long long lengthMs() const { return facts_.lengthMs; }
    int speed() const { return speed_; }  // as last set, thousandths

  private:
    Device(UniqueFd file, const Mp3Facts& facts);

    // What the playback thread tells the command layer, under mutex_.
    struct Progress {
        long long heardFrames = 0;   // source frames heard since the start
        long long queuedFrames = 0;  // source frames that reached the output's device
        std::chrono::steady_clock::time_point stamp{};
        bool finished = false;  // the last frame is queued, or the output failed
        int outputError = 0;    // why the output failed, if it did
    };

    Failure start(long long ms);
    Failure prepareDecoder();
    // What a halt does with the audio the output's device still holds: drop
    // it, or keep it when it plays out soon anyway.
    void halt(OutputStage::DeviceQueue deviceQueue = OutputStage::DeviceQueue::kDrop);
    void holdAtHeardPosition();
    void settleFinished();
    long long livePositionMs();
    long long framesToMs(long long frames) const;

    // The playback thread and its helpers.
    long long playableFrom(long long frame) const;
    void run(long long playable);
    int feedOutput(float* frames, std::size_t count);
    bool stopRequested() const { return stop_.load(std::memory_order_acquire); }
    void publish(long long writtenOut, double ratio);
    void endRun(int outputError);

    UniqueFd file_;
    Mp3Facts facts_;
    // Used by the playback thread while it runs, by the command layer
    // otherwise; starting and joining the thread hand them over. The output
    // stage is the command layer's: it takes it, halts it and hands it on,
    // while the thread only queues frames on it and asks what is pending.
    Decoder decoder_;
    std::unique_ptr<TempoStage> tempo_;
    std::unique_ptr<OutputStage> stage_;

    // Command-layer state.
    Mode mode_ = Mode::kStopped;
    bool ended_ = false;           // the track ran to its end: the next play starts over
    long long restMs_ = 0;         // position while not playing
    long long startMs_ = 0;        // where the running playback started
    int speed_ = kNormalSpeed;     // applies from the next start
    int runSpeed_ = kNormalSpeed;  // of the running playback
    std::thread thread_;
    // Read by the playback thread for every chunk it hands to the output.
    std::atomic<int> volume_{kFullVolume};
    // The song's gain, capped with the volume; read by the playback thread
    // for every chunk it decodes, before the speed stage, so that it holds
    // from the song's first sample to its last.
    SongGain gain_;
    std::atomic<float> sourceGain_{1.0f};

    std::chrono::steady_clock::time_point runStart_{};  // when the running playback started
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::atomic<bool> notify_{false};  // signal the end of every playback
    Progress progress_;
};

}  // namespace mci
