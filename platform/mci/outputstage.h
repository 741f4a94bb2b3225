// The audio output as the tracks share it. An output stage owns one sink and
// a thread of its own that writes to the sink what the playing track queues
// here, as much as the device takes. A track that ran to its end hands its
// stage over with the frames it still holds; the next track of the same rate
// and channel count that takes an output soon after queues its frames behind
// them on the same stream, so that songs follow each other without a gap and
// the device is not reopened. A stage that no track takes up plays out and
// closes.
//
// The command layer never waits on the device: a halt drops the queue under
// the stage's lock and interrupts a write that waits in the device, and a
// stage is opened, drained and closed on its own thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/mci/audiosink.h"
#include "platform/mci/tempo.h"

namespace mci {

class OutputStage {
  public:
    // How long a stage that a track handed over waits for the next track.
    static constexpr long kHandOverWindowMs = 1000;
    // The queue between a track and the device: the time the next track has
    // to start after a track's last frame was queued, beside what the device
    // itself still holds.
    static constexpr long kQueueMs = 150;

    // An output for a track of this format: the stage handed over last when
    // its format matches and its window has not passed, otherwise a new one.
    // A new stage opens its sink on its own thread, once every stage that is
    // closing has closed (a device may take one client at a time), so this
    // returns at once.
    static std::unique_ptr<OutputStage> take(long rate, int channels);
    // The track ran to its end: what the stage holds plays out, and the next
    // take() may pick it up. A tempo stage that holds frames back goes with
    // it, so that the speed stage goes on into the next track; a stage that
    // nobody takes up lets those frames out at its end.
    static void handOver(std::unique_ptr<OutputStage> stage, std::unique_ptr<TempoStage> tempo);
    // The track is done with it before its end: what it holds is dropped and
    // the stage closes on its own thread.
    static void release(std::unique_ptr<OutputStage> stage);
    // Stops and joins every stage that is still closing; for the end of the
    // process.
    static void closeAll();

    ~OutputStage();
    OutputStage(const OutputStage&) = delete;
    OutputStage& operator=(const OutputStage&) = delete;

    // The tempo stage that came with a hand-over, if any.
    std::unique_ptr<TempoStage> takeTempo();

    // Queues frames behind those queued, waiting while the queue is full.
    // Returns 0, ECANCELED after halt() until resumeWrites(), or the error
    // that ended the output.
    int write(const float* frames, std::size_t count);
    // Frames not heard yet: those that wait for the device, and those that
    // the device holds.
    struct Pending {
        long long waiting = 0;
        long long inDevice = 0;
    };
    Pending pending();

    // What a halt does with the frames the device already holds.
    enum class DeviceQueue { kDrop, kKeepWhenShort };
    // The gain that the frames get as they go to the device, so that a new
    // volume is heard as soon as the device's short buffer has played out,
    // not only after the queue; any thread may set it.
    void setGain(float gain) { gain_.store(gain, std::memory_order_relaxed); }

    // Drops the queued frames at once, ends a wait of write(), and lets the
    // stage's thread drop the device's frames as asked.
    void halt(DeviceQueue deviceQueue);
    void resumeWrites();

  private:
    OutputStage(long rate, int channels);
    void start(PendingOutput output);
    void run(PendingOutput output);
    bool openSink(PendingOutput& output);
    void writeLoop();
    void finish();
    void settleDrop(std::unique_lock<std::mutex>& lock);
    bool flushHandedTempo(std::unique_lock<std::mutex>& lock);
    bool windowPassed() const;
    void interruptDevice();
    std::size_t queued() const { return queue_.size() / static_cast<std::size_t>(channels_); }
    std::size_t capacity() const;
    bool matches(long rate, int channels) const { return rate == rate_ && channels == channels_; }
    bool hasEnded();
    bool claim(long rate, int channels);
    void waitForOthersToClose();
    static void reapEnded();
    static void adopt(std::unique_ptr<OutputStage> stage);

    const long rate_;
    const int channels_;
    std::unique_ptr<AudioSink> sink_;  // set and used by the stage's thread
    std::thread thread_;

    // Shared between the track's feed, the command layer and the stage's
    // thread.
    std::atomic<float> gain_{1.0f};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<float> queue_;  // interleaved frames not yet taken by the thread
    std::size_t inFlight_ = 0;  // frames taken out, being written
    long deviceDelay_ = 0;      // the device's delay at its last look
    bool writesCancelled_ = false;
    DeviceQueue deviceDrop_ = DeviceQueue::kKeepWhenShort;
    bool dropPending_ = false;
    bool inDevice_ = false;       // the thread waits in a write or a drain
    bool interruptSent_ = false;  // ... and was interrupted since it began
    int error_ = 0;               // why the output ended, when it failed
    bool handedOver_ = false;     // no track holds it; it waits for the next
    std::chrono::steady_clock::time_point handedAt_{};
    bool playingOut_ = false;           // past its window: no track may take it up
    std::atomic<bool> closing_{false};  // drop everything and close
    bool ended_ = false;                // the thread has let the sink go
    bool inRegistry_ = false;           // no track holds it (guarded by the registry's lock)
    std::unique_ptr<TempoStage> handedTempo_;
};

}  // namespace mci
