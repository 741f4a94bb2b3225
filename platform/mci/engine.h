// The playback engine: one for the process. It owns the audio output, a
// speed stage and one thread that lives as long as it does and decodes,
// stretches and writes to the output. An open alias is a Source: a file and
// its measured facts. Every command below changes the engine's state under
// its lock and returns at once; the thread picks the change up between two
// writes to the output (a write is short: a thousand frames or so), or at
// once when a command that drops the audio interrupts a write that waits.
//
// The stream the output plays is continuous: a source whose last frame has
// gone to the output has ended (the end is signalled on the descriptor of
// trackEndDescriptor()), and the next source played now follows it on the
// same stream without a gap; one of another rate or channel count waits
// until the output has played out and then opens it afresh. A pause stops
// the output where it is: an output that can pause holds what it has, any
// other drops it, and it is written again on resume, from the very next
// sample; the frames the output has had stay in a ring for that. A jump or
// a speed change lets what the device holds play out when that is short (a
// new stream can take a sound server long to start) and goes on from the
// sample after it; the speed stage is in the path only away from the normal
// speed, with a short crossfade where it comes in or goes out.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/mci/audiosink.h"
#include "platform/mci/clock.h"
#include "platform/mci/decoder.h"
#include "platform/mci/failure.h"
#include "platform/mci/mp3length.h"
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

class Source {
  public:
    // Opens the MP3 file at path (absolute, so that a later change of
    // directory does not matter) and measures it; nothing is decoded yet.
    static Failure open(const std::string& path, std::shared_ptr<Source>* source);

    const Mp3Facts& facts() const { return facts_; }
    long long lengthMs() const { return facts_.lengthMs; }
    // The open file, for reads with pread alone: the engine's decoder reads
    // it at an offset of its own.
    int fd() const { return file_.get(); }

    // A linear factor on every sample of this source, from its first to its
    // last (a gain set before play starts exactly on its first sample, also
    // right after another song on the same stream). 1 leaves the samples
    // untouched. Any thread may set it; it is applied with the volume, as
    // the frames go to the device, so a change is heard as soon as a new
    // volume is.
    void setGain(float gain) { gain_.store(gain, std::memory_order_relaxed); }
    float gain() const { return gain_.load(std::memory_order_relaxed); }

    Source(UniqueFd file, const Mp3Facts& facts, FrameIndex index);

  private:
    friend class Engine;

    long long frameAt(long long ms) const;
    long long msAt(long long frame) const;

    const UniqueFd file_;
    const Mp3Facts facts_;
    const FrameIndex index_;  // where its frames are, when they were walked
    std::atomic<float> gain_{1.0f};
    // The engine's, under its lock.
    Mode mode_ = Mode::kStopped;
    bool ended_ = false;       // its last frame went to the output
    long long restFrame_ = 0;  // where it goes on from when it is not the one playing
    int speed_ = kNormalSpeed;
    bool notify_ = false;  // signal its end
};

// The source open under alias, or null: for what sets a source's gain.
std::shared_ptr<Source> findSource(std::string_view alias);

class Engine {
  public:
    // The engine of the process, started on first use and stopped at exit.
    static Engine& instance();

    // "play": from where the source stands (the start, after its end).
    void play(const std::shared_ptr<Source>& source);
    // "play ... from": ms must lie within the length (checked by the caller).
    void playFrom(const std::shared_ptr<Source>& source, long long ms);
    void notifyAtEnd(Source& source);
    void pause(Source& source);
    void resume(Source& source);
    void stop(Source& source);
    void setSpeed(Source& source, int speed);
    // The alias goes: a source that sounds still falls silent now.
    void close(Source& source);

    Mode mode(Source& source);
    long long positionMs(Source& source);
    int speed(Source& source);

    // Thousandths of full, for whatever plays; heard as soon as the device's
    // short buffer has played out.
    void setVolume(int volume);
    int volume() const { return volume_.load(std::memory_order_relaxed); }

    // Silences everything and closes the output, and waits until that is
    // done: for the end of the process, and for tests that change the
    // output. The next play opens an output afresh.
    void releaseOutput();
    void shutdown();

    // Threads the engines of this process have started: one for its life.
    static int threadsStarted();

    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

  private:
    Engine();

    // What the commands ask of the thread, under mutex_.
    struct Wanted {
        std::shared_ptr<Source> source;  // the one the stream plays, or null
        bool running = false;
        int speed = kNormalSpeed;
        long long start = 0;  // counts the starts asked for
        long long startFrame = 0;
        bool startDrops = false;  // what the output holds goes
        bool startKeeps = false;  // ... unless it plays out soon
        long long drop = 0;       // counts the drops asked for without a start
        long long release = 0;    // counts the output's releases asked for
        bool shutdown = false;
    };
    // What the thread records of the output's stream (output frames are
    // counted from the first the output ever had): from outStart on, output
    // frames play source from srcStart at ratio source frames each.
    struct Segment {
        long long outStart = 0;
        std::shared_ptr<Source> source;
        long long srcStart = 0;
        double ratio = 1.0;
    };
    // The gain of the frames of one write from offset on.
    struct GainRun {
        long long offset = 0;
        float gain = 1.0f;
    };
    // What the output last reported, under mutex_.
    struct Heard {
        long long written = 0;  // output frames handed to the device
        long long delay = 0;    // of those, frames not heard yet
        EngineClock::TimePoint at{};
        EngineClock::TimePoint movedAt = EngineClock::TimePoint::min();  // when what was heard grew
        // The device started from silence at startAt with startOut heard
        // (max: it stands).
        long long startOut = 0;
        EngineClock::TimePoint startAt = EngineClock::TimePoint::max();
        long rate = 0;
        bool flowing = false;  // the device plays on between reports
    };

    void start(const std::shared_ptr<Source>& source, long long frame);
    void changed();
    void interruptOutput();
    long long heardNow() const;
    long long sourceFrameAt(const Source& source, long long out) const;

    // The thread and what it alone uses.
    void run();
    void apply(const Wanted& wanted, std::unique_lock<std::mutex>& lock);
    bool beginSource(const std::shared_ptr<Source>& source, long long frame,
                     std::unique_lock<std::mutex>& lock);
    void adoptFormat(long rate, int channels);
    void discard(std::unique_lock<std::mutex>& lock, bool keepShort = false);
    void hold(std::unique_lock<std::mutex>& lock);
    void respeed(int speed, std::unique_lock<std::mutex>& lock);
    void goOnFrom(long long frame, bool reached, int speed);
    long long rewindDevice(std::unique_lock<std::mutex>& lock, bool keepShort = false);
    void trimSegments();
    bool writeSome(std::unique_lock<std::mutex>& lock);
    bool produce();
    std::size_t decodeInto(float* out, std::size_t maxFrames);
    bool ensureOutput(std::unique_lock<std::mutex>& lock);
    void closeOutput(std::unique_lock<std::mutex>& lock);
    void endSource(int outputError, std::unique_lock<std::mutex>& lock);
    void publish(long long delay, bool playing, std::unique_lock<std::mutex>& lock);
    void addSegment(const std::shared_ptr<Source>& source, long long srcStart, double ratio);
    void gainsOfWrite(long long count);
    const float* scaled(long long count);
    void idle(std::unique_lock<std::mutex>& lock);
    float* ringAt(long long out) { return ring_.data() + (out % ringFrames_) * channels_; }

    EngineClock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::condition_variable released_;
    Wanted wanted_;
    long long requests_ = 0;  // counts every change of wanted_
    std::vector<Segment> segments_;
    Heard heard_;
    long long releasedCount_ = 0;
    std::optional<PendingOutput> announced_;  // an output is about to be opened
    AudioSink* sinkForInterrupt_ = nullptr;   // sink_, for commands to interrupt
    bool sinkInterrupted_ = false;
    std::atomic<int> volume_{kFullVolume};

    // The thread's own.
    std::unique_ptr<AudioSink> sink_;
    long sinkRate_ = 0;
    int sinkChannels_ = 0;
    Decoder decoder_;
    std::shared_ptr<Source> playing_;  // the source being decoded
    long long playable_ = 0;           // its frames still to decode
    bool decoderDone_ = true;
    bool tempoFlushed_ = false;
    std::unique_ptr<TempoStage> tempo_;
    int speedNow_ = kNormalSpeed;
    bool running_ = false;
    bool devicePaused_ = false;  // the output holds its frames in a pause
    long rate_ = 0;
    int channels_ = 0;
    long long ringFrames_ = 0;
    std::vector<float> ring_;  // output frames, before the volume
    long long produced_ = 0;   // output frames made
    long long written_ = 0;    // output frames handed to the device (changed under mutex_)
    long long formatStart_ = 0;
    long long batchStart_ = -1;  // the first output frame of the last batch made  // the first
                                 // output frame of the ring's format
    std::vector<float> batch_;
    std::vector<float> decoded_;
    std::vector<float> scaled_;
    std::vector<GainRun> gains_;  // of the write under way
    std::vector<float> fade_;     // what the old path would have played, to fade out of
    std::size_t fadeFrames_ = 0;
    std::size_t fadeDone_ = 0;
    Wanted seen_;  // the requests taken up
    EngineClock::TimePoint lastWrite_{};
    EngineClock::TimePoint flushAt_ = EngineClock::TimePoint::max();  // when to let a tail go

    std::thread thread_;
};

}  // namespace mci
