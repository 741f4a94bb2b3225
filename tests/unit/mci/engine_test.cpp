// Playback on the silent output, which keeps real time: modes, positions,
// jumps, speed, the end of a track, closing and exiting while playing.
// Time bounds are wide, to hold on a busy shared machine; they catch a
// position that stands still or runs at the wrong rate, not slowness.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/mci/audiosink.h"
#include "platform/mci/decoder.h"
#include "platform/mci/mci.h"
#include "platform/mci/outputstage.h"
#include "platform/mci/volume.h"
#include "tests/unit/mci/fixtures.h"

namespace {

using mcitest::ask;
using mcitest::askNumber;
using mcitest::MciTest;
using mcitest::send;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

void sleepMs(int ms) {
    std::this_thread::sleep_for(milliseconds(ms));
}

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// Polls the mode until it is no longer "playing"; gives up after limitMs.
long long msUntilNotPlaying(Clock::time_point start, long long limitMs) {
    while (ask("status x mode") == "playing" && msSince(start) < limitMs) {
        sleepMs(10);
    }
    return msSince(start);
}

class Engine : public MciTest {
  protected:
    void open(const std::string& name) {
        ASSERT_EQ(send("open " + name + " type MPEGVideo alias x"), 0);
    }
};

TEST_F(Engine, OutputIsTheSilentSinkHere) {
    EXPECT_STREQ(mciAudioOutput(), "silent, no device");
}

TEST_F(Engine, PlaysPausesResumesAndStopsAtTheEnd) {
    open("two.mp3");
    ASSERT_EQ(send("play x"), 0);
    EXPECT_EQ(ask("status x mode"), "playing");
    sleepMs(300);
    ASSERT_EQ(send("pause x"), 0);
    EXPECT_EQ(ask("status x mode"), "paused");
    const long long paused = askNumber("status x position");
    EXPECT_GT(paused, 100);
    sleepMs(300);
    EXPECT_EQ(askNumber("status x position"), paused);
    ASSERT_EQ(send("resume x"), 0);
    EXPECT_EQ(ask("status x mode"), "playing");
    EXPECT_GE(askNumber("status x position"), paused);
    msUntilNotPlaying(Clock::now(), 5000);
    EXPECT_EQ(ask("status x mode"), "stopped");
    EXPECT_EQ(askNumber("status x position"), askNumber("status x length"));
}

TEST_F(Engine, PositionFollowsRealTime) {
    open("three.mp3");
    const auto start = Clock::now();
    ASSERT_EQ(send("play x"), 0);
    sleepMs(1000);
    const long long position = askNumber("status x position");
    const long long elapsed = msSince(start);
    EXPECT_NEAR(position, elapsed, elapsed / 10 + 50);
    // What the output still holds is not heard yet: the position is never
    // ahead of the time since play.
    EXPECT_LE(position, elapsed + 5);
}

TEST_F(Engine, PositionAtDoubleSpeedIsNeverAheadOfWhatIsHeard) {
    open("three.mp3");
    ASSERT_EQ(send("set x speed 2000"), 0);
    const auto start = Clock::now();
    ASSERT_EQ(send("play x from 500"), 0);
    sleepMs(400);
    const long long position = askNumber("status x position");
    const long long elapsed = msSince(start);
    EXPECT_LE(position, 500 + 2 * elapsed + 10);
    EXPECT_GE(position, 500 + 2 * elapsed * 8 / 10 - 100);
}

TEST_F(Engine, PlayFromJumpsAndRefusesPositionsPastTheEnd) {
    open("three.mp3");
    ASSERT_EQ(send("play x from 2000"), 0);
    const long long position = askNumber("status x position");
    EXPECT_GE(position, 2000);
    EXPECT_LT(position, 2300);
    EXPECT_EQ(send("play x from 3100"), MCIERR_OUTOFRANGE);
    EXPECT_EQ(ask("status x mode"), "playing");
    ASSERT_EQ(send("pause x"), 0);
    ASSERT_EQ(send("play x from 500"), 0);
    EXPECT_EQ(ask("status x mode"), "playing");
    EXPECT_LT(askNumber("status x position"), 800);
}

TEST_F(Engine, PlayFromTheLengthEndsAtOnce) {
    open("two.mp3");
    ASSERT_EQ(send("play x from " + ask("status x length")), 0);
    msUntilNotPlaying(Clock::now(), 2000);
    EXPECT_EQ(ask("status x mode"), "stopped");
}

TEST_F(Engine, StopKeepsThePositionAndPlayGoesOnFromIt) {
    open("three.mp3");
    ASSERT_EQ(send("play x from 1000"), 0);
    sleepMs(200);
    ASSERT_EQ(send("stop x"), 0);
    EXPECT_EQ(ask("status x mode"), "stopped");
    const long long stopped = askNumber("status x position");
    EXPECT_GE(stopped, 1100);
    sleepMs(200);
    EXPECT_EQ(askNumber("status x position"), stopped);
    const auto start = Clock::now();
    ASSERT_EQ(send("play x"), 0);
    const long long position = askNumber("status x position");
    EXPECT_GE(position, stopped);
    // Never more is heard than the time since play.
    EXPECT_LE(position, stopped + msSince(start));
}

TEST_F(Engine, PlayAfterTheEndStartsAgainFromZero) {
    open("two.mp3");
    ASSERT_EQ(send("play x from 1800"), 0);
    msUntilNotPlaying(Clock::now(), 3000);
    ASSERT_EQ(ask("status x mode"), "stopped");
    ASSERT_EQ(send("play x"), 0);
    EXPECT_EQ(ask("status x mode"), "playing");
    EXPECT_LT(askNumber("status x position"), 300);
}

TEST_F(Engine, DoubleSpeedPlaysTwoSecondsInAboutOne) {
    open("two.mp3");
    ASSERT_EQ(send("set x speed  2000"), 0);
    const auto start = Clock::now();
    ASSERT_EQ(send("play x"), 0);
    const long long took = msUntilNotPlaying(start, 5000);
    // The track ends once its last frame is queued, which is ahead of what
    // is heard by at most the output's queue and the silent device's.
    EXPECT_GT(took, 1000 - mci::OutputStage::kQueueMs - 500);
    EXPECT_LT(took, 1700);
    EXPECT_EQ(ask("status x mode"), "stopped");
}

TEST_F(Engine, SpeedChangeWhilePlayingKeepsThePositionAndChangesItsRate) {
    open("three.mp3");
    ASSERT_EQ(send("play x"), 0);
    sleepMs(300);
    const auto asked = Clock::now();
    const long long before = askNumber("status x position");
    ASSERT_EQ(send("set x speed 500"), 0);
    const long long after = askNumber("status x position");
    EXPECT_GE(after, before);
    EXPECT_LE(after, before + msSince(asked));
    EXPECT_EQ(ask("status x mode"), "playing");
    const auto start = Clock::now();
    sleepMs(600);
    const long long advanced = askNumber("status x position") - after;
    const long long elapsed = msSince(start);
    EXPECT_NEAR(advanced, elapsed / 2, elapsed / 10 + 60);
}

TEST_F(Engine, SpeedChangeWhilePausedWaitsForResume) {
    open("three.mp3");
    ASSERT_EQ(send("play x from 1000"), 0);
    ASSERT_EQ(send("pause x"), 0);
    const long long paused = askNumber("status x position");
    ASSERT_EQ(send("set x speed 1500"), 0);
    EXPECT_EQ(ask("status x mode"), "paused");
    EXPECT_EQ(askNumber("status x position"), paused);
    ASSERT_EQ(send("resume x"), 0);
    EXPECT_EQ(ask("status x mode"), "playing");
}

TEST_F(Engine, TruncatedFilePlaysWhatItHoldsAndEnds) {
    open("truncated.mp3");
    ASSERT_EQ(send("play x"), 0);
    msUntilNotPlaying(Clock::now(), 4000);
    EXPECT_EQ(ask("status x mode"), "stopped");
}

// Three seconds at another sample rate follow the first: the track ends at
// its length instead of playing on with the position standing still.
TEST_F(Engine, AJoinedFilePlaysAsLongAsItsLength) {
    open("joined-rates.mp3");
    const long long length = askNumber("status x length");
    ASSERT_GE(length, 900);
    ASSERT_LE(length, 1100);
    ASSERT_EQ(send("play x"), 0);
    const long long played = msUntilNotPlaying(Clock::now(), 8000);
    EXPECT_EQ(ask("status x mode"), "stopped");
    EXPECT_LT(played, length + 2000) << "played on past the length";
    EXPECT_EQ(askNumber("status x position"), length);
}

TEST_F(Engine, MonoAtAnotherRateAndFreeFormatPlay) {
    for (const char* name : {"mono.mp3", "free.mp3"}) {
        SCOPED_TRACE(name);
        open(name);
        const long long length = askNumber("status x length");
        ASSERT_GT(length, 500);
        ASSERT_EQ(send("play x"), 0);
        msUntilNotPlaying(Clock::now(), 5000);
        EXPECT_EQ(ask("status x mode"), "stopped");
        EXPECT_EQ(askNumber("status x position"), length);
        send("close x");
    }
}

TEST_F(Engine, NameIsResolvedAtOpenSoADirectoryChangeDoesNotMatter) {
    open("two.mp3");
    ASSERT_EQ(chdir("/"), 0);
    ASSERT_EQ(send("play x"), 0);
    sleepMs(100);
    EXPECT_EQ(ask("status x mode"), "playing");
}

TEST_F(Engine, CloseWhilePlayingIsPromptAndFreesTheAlias) {
    open("three.mp3");
    ASSERT_EQ(send("play x"), 0);
    sleepMs(200);
    const auto start = Clock::now();
    ASSERT_EQ(send("close x"), 0);
    // A bound for a hang, not a speed requirement.
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(send("status x mode"), MCIERR_INVALID_DEVICE_NAME);
    open("two.mp3");
}

TEST_F(Engine, SeveralDevicesPlayIndependently) {
    ASSERT_EQ(send("open two.mp3 type MPEGVideo alias x"), 0);
    ASSERT_EQ(send("open three.mp3 type MPEGVideo alias y"), 0);
    ASSERT_EQ(send("open \"My Song \xC3\xBC.mp3\" alias z"), 0);
    ASSERT_EQ(send("play x"), 0);
    ASSERT_EQ(send("play y from 1000"), 0);
    ASSERT_EQ(send("play z"), 0);
    ASSERT_EQ(send("pause z"), 0);
    EXPECT_EQ(ask("status x mode"), "playing");
    EXPECT_EQ(ask("status y mode"), "playing");
    EXPECT_EQ(ask("status z mode"), "paused");
    ASSERT_EQ(send("close x"), 0);
    sleepMs(200);
    EXPECT_EQ(ask("status y mode"), "playing");
    EXPECT_GT(askNumber("status y position"), 1100);
}

TEST_F(Engine, CommandsThatChangeNothingSucceed) {
    open("two.mp3");
    EXPECT_EQ(send("pause x"), 0);
    EXPECT_EQ(send("resume x"), 0);
    EXPECT_EQ(send("stop x"), 0);
    EXPECT_EQ(ask("status x mode"), "stopped");
    ASSERT_EQ(send("play x"), 0);
    EXPECT_EQ(send("play x"), 0);
    EXPECT_EQ(send("resume x"), 0);
    EXPECT_EQ(ask("status x mode"), "playing");
}

// An output that takes no audio at all, like a sound server that is slow to
// start a stream or a device that stalls: every write waits until it is
// interrupted. A wait that runs out instead is counted, and fails the test.
class StalledSink final : public mci::AudioSink {
  public:
    struct Counts {
        std::mutex mutex;
        int interruptedWaits = 0;
        int waitsNobodyEnded = 0;
    };
    explicit StalledSink(Counts* counts) : counts_(counts) {}

    int open(long, int) override { return 0; }
    int write(const float*, std::size_t) override {
        std::unique_lock lock(mutex_);
        if (!woken_.wait_for(lock, std::chrono::seconds(10), [this] { return interrupted_; })) {
            std::lock_guard countLock(counts_->mutex);
            ++counts_->waitsNobodyEnded;
            return ETIMEDOUT;
        }
        std::lock_guard countLock(counts_->mutex);
        ++counts_->interruptedWaits;
        return ECANCELED;
    }
    long delay() override { return 0; }
    void drain() override {}
    void drop() override {}
    void close() override {}
    void interrupt() override {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        woken_.notify_all();
    }
    void rearm() override {
        std::lock_guard lock(mutex_);
        interrupted_ = false;
    }
    const char* name() const override { return "stalled"; }

  private:
    Counts* counts_;
    std::mutex mutex_;
    std::condition_variable woken_;
    bool interrupted_ = false;
};

// An output that takes every frame at once and does nothing else; the
// misbehaving outputs below differ from it in one answer each.
class InertSink : public mci::AudioSink {
  public:
    int open(long, int) override { return 0; }
    int write(const float*, std::size_t) override { return 0; }
    long delay() override { return 0; }
    void drain() override {}
    void drop() override {}
    void close() override {}
    void interrupt() override {}
    void rearm() override {}
};

class FailingSink final : public InertSink {
  public:
    int write(const float*, std::size_t) override { return EIO; }
    const char* name() const override { return "failing"; }
};

// An output that never plays its last few frames: its delay stands still,
// as a sound server's does when a stream that ran dry holds less than its
// start threshold.
class StuckTailSink final : public InertSink {
  public:
    long delay() override { return 2000; }
    const char* name() const override { return "stuck"; }
};

class EngineOnABadOutput : public Engine {
  protected:
    void TearDown() override {
        Engine::TearDown();
        mci::forceOutput(nullptr);
    }
};

// A stall is not the end of the track, however long it lasts (longer than
// a second here), and every command still acts without waiting for it.
TEST_F(EngineOnABadOutput, AStalledOutputIsWaitedForAndCommandsInterruptIt) {
    StalledSink::Counts counts;
    mci::forceOutput([&counts](long, int) { return std::make_unique<StalledSink>(&counts); });
    open("two.mp3");
    ASSERT_EQ(send("play x"), 0);
    sleepMs(1200);
    EXPECT_EQ(ask("status x mode"), "playing");
    EXPECT_EQ(askNumber("status x position"), 0) << "nothing was heard";
    for (const char* command : {"pause x", "resume x", "play x from 1000", "set x speed 1500",
                                "stop x", "play x", "close x"}) {
        ASSERT_EQ(send(command), 0) << command;
    }
    std::lock_guard lock(counts.mutex);
    EXPECT_GE(counts.interruptedWaits, 1);
    EXPECT_EQ(counts.waitsNobodyEnded, 0) << "a command waited for the stalled output";
}

// The end of a track does not wait for ever on an output that stopped
// playing its last sliver.
TEST_F(EngineOnABadOutput, ATrackEndsAlsoWhenTheOutputHoldsItsLastFramesForEver) {
    mci::forceOutput([](long, int) { return std::make_unique<StuckTailSink>(); });
    open("two.mp3");
    ASSERT_EQ(send("play x"), 0);
    EXPECT_LT(msUntilNotPlaying(Clock::now(), 5000), 5000);
    EXPECT_EQ(ask("status x mode"), "stopped");
}

// The output opens on a thread of its own: play does not wait for it, nor
// does a stop, and the output's name is not probed beside it.
TEST_F(EngineOnABadOutput, AnOutputStillOpeningHoldsUpNothing) {
    std::mutex mutex;
    std::condition_variable changed;
    bool mayOpen = false;
    int opened = 0;
    mci::forceOutput([&](long, int) {
        // Bounded, so that an engine that waits for the output fails the
        // test instead of hanging it.
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return mayOpen; });
        ++opened;
        return std::make_unique<StuckTailSink>();
    });
    open("two.mp3");
    ASSERT_EQ(send("play x"), 0);
    EXPECT_EQ(mciAudioOutput(), nullptr);
    EXPECT_EQ(ask("status x mode"), "playing");
    EXPECT_EQ(askNumber("status x position"), 0);
    ASSERT_EQ(send("stop x"), 0);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(opened, 0) << "the stop waited for the output";
        mayOpen = true;
    }
    changed.notify_all();
    const auto start = Clock::now();
    while (mciAudioOutput() == nullptr && msSince(start) < 5000) {
        sleepMs(5);
    }
    std::lock_guard lock(mutex);
    EXPECT_EQ(opened, 1);
    EXPECT_STREQ(mciAudioOutput(), "stuck");
}

// An output that reports an error ends the track, so that play goes on.
TEST_F(EngineOnABadOutput, AFailingOutputEndsTheTrack) {
    mci::forceOutput([](long, int) { return std::make_unique<FailingSink>(); });
    open("three.mp3");
    ASSERT_EQ(send("play x"), 0);
    EXPECT_LT(msUntilNotPlaying(Clock::now(), 2000), 2000);
    EXPECT_EQ(ask("status x mode"), "stopped");
}

// An output that records what reaches it: its opens, every frame, and its
// drops. It takes frames at once; while held, it takes none until a command
// interrupts it, as a device whose buffer is full.
struct Recording {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<long, int>> opens;
    std::vector<float> frames;  // of every output, end to end
    bool held = false;
    bool interrupted = false;
    int drops = 0;
};

class RecordingSink final : public InertSink {
  public:
    RecordingSink(Recording* recording, int channels)
        : recording_(recording), channels_(channels) {}
    int write(const float* frames, std::size_t count) override {
        std::unique_lock lock(recording_->mutex);
        recording_->changed.wait(lock,
                                 [this] { return !recording_->held || recording_->interrupted; });
        if (recording_->held) {
            return ECANCELED;
        }
        recording_->frames.insert(recording_->frames.end(), frames, frames + count * channels_);
        return 0;
    }
    void drop() override {
        std::lock_guard lock(recording_->mutex);
        ++recording_->drops;
    }
    void interrupt() override {
        std::lock_guard lock(recording_->mutex);
        recording_->interrupted = true;
        recording_->changed.notify_all();
    }
    void rearm() override {
        std::lock_guard lock(recording_->mutex);
        recording_->interrupted = false;
    }
    const char* name() const override { return "recording"; }

  private:
    Recording* recording_;
    std::size_t channels_;
};

// Closes every output, so that none writes to a recording that is gone:
// declared after the recording, it goes first.
struct OutputsClosed {
    OutputsClosed() = default;
    OutputsClosed(const OutputsClosed&) = delete;
    OutputsClosed& operator=(const OutputsClosed&) = delete;
    ~OutputsClosed() { mci::OutputStage::closeAll(); }
};

// Every frame of a file as the engine decodes it.
std::vector<float> decodeAll(const char* name) {
    const int fd = ::open(name, O_RDONLY);
    mci::Decoder decoder;
    EXPECT_FALSE(decoder.open(fd).failed()) << name;
    std::vector<float> all;
    std::vector<float> chunk(1152 * 2);
    std::size_t count = 0;
    while (decoder.read(chunk.data(), 1152, &count) == mci::Decoder::Status::kData) {
        all.insert(all.end(), chunk.begin(), chunk.begin() + static_cast<long>(count * 2));
    }
    ::close(fd);
    return all;
}

// Waits until the output's thread has written the samples still queued.
void waitUntilRecorded(Recording& recording, std::size_t samples) {
    const auto start = Clock::now();
    for (std::size_t size = 0; size < samples && msSince(start) < 5000; sleepMs(1)) {
        std::lock_guard lock(recording.mutex);
        size = recording.frames.size();
    }
}

// Plays name to its end with notify, at the volume and gain kind given, and
// waits for the engine's signal.
void playToTheEnd(const std::string& name, int volume = mci::kFullVolume,
                  const std::string& gain = "off") {
    ASSERT_EQ(send("open " + name + " alias x"), 0);
    ASSERT_EQ(send("setaudio x replaygain to " + gain), 0);
    if (volume != mci::kFullVolume) {
        ASSERT_EQ(send("setaudio x volume to " + std::to_string(volume)), 0);
        EXPECT_EQ(askNumber("status x volume"), volume);
    }
    ASSERT_EQ(send("play x notify"), 0);
    pollfd event{mciNotifyDescriptor(), POLLIN, 0};
    ASSERT_EQ(poll(&event, 1, 10000), 1) << "no signal at the end of " << name;
    mciTakeNotify();
    EXPECT_EQ(ask("status x mode"), "stopped");
    EXPECT_EQ(askNumber("status x position"), askNumber("status x length"));
    ASSERT_EQ(send("close x"), 0);
}

// Songs that follow each other within a moment share one output, and what
// it plays is every frame of each, end to end; a song of another format gets
// an output of its own, and a song closed early drops what its output holds.
TEST_F(EngineOnABadOutput, SongsThatFollowEachOtherPlayOnOneOutputEndToEnd) {
    Recording recording;
    OutputsClosed closed;
    mci::forceOutput([&recording](long rate, int channels) {
        std::lock_guard lock(recording.mutex);
        recording.opens.emplace_back(rate, channels);
        return std::make_unique<RecordingSink>(&recording, channels);
    });
    playToTheEnd("two.mp3");
    playToTheEnd("three.mp3");
    std::vector<float> expected = decodeAll("two.mp3");
    const std::vector<float> second = decodeAll("three.mp3");
    expected.insert(expected.end(), second.begin(), second.end());
    waitUntilRecorded(recording, expected.size());
    {
        std::lock_guard lock(recording.mutex);
        ASSERT_EQ(recording.opens.size(), 1u);
        EXPECT_TRUE(recording.frames == expected)
            << recording.frames.size() << " samples, not " << expected.size();
    }
    playToTheEnd("mono.mp3");
    open("twelve.mp3");
    ASSERT_EQ(send("play x"), 0);
    // Its output opens once the mono one has played out; from then on the
    // output takes nothing more, so that the song's frames wait in its queue.
    const auto opening = Clock::now();
    for (std::size_t opens = 0; opens < 3 && msSince(opening) < 5000; sleepMs(1)) {
        std::lock_guard lock(recording.mutex);
        opens = recording.opens.size();
        recording.held = opens == 3;
        recording.drops = 0;
    }
    sleepMs(100);
    ASSERT_EQ(send("close x"), 0);
    const auto start = Clock::now();
    for (int drops = 0; drops == 0 && msSince(start) < 5000; sleepMs(1)) {
        std::lock_guard lock(recording.mutex);
        drops = recording.drops;
    }
    std::lock_guard lock(recording.mutex);
    const std::pair<long, int> first = recording.opens[0];
    EXPECT_EQ(recording.opens, (std::vector<std::pair<long, int>>{first, {22050, 1}, first}));
    EXPECT_GE(recording.drops, 1) << "the queued frames of a closed song played on";
}

// The volume scales what reaches the output by the curve's gain, sample by
// sample, from the first one on.
TEST_F(EngineOnABadOutput, AVolumeOf500ScalesTheSamplesByItsGain) {
    Recording recording;
    OutputsClosed closed;
    mci::forceOutput([&recording](long, int channels) {
        return std::make_unique<RecordingSink>(&recording, channels);
    });
    playToTheEnd("two.mp3", 500);
    const std::vector<float> full = decodeAll("two.mp3");
    waitUntilRecorded(recording, full.size());
    std::lock_guard lock(recording.mutex);
    ASSERT_EQ(recording.frames.size(), full.size());
    float peak = 0;
    for (std::size_t i = 0; i < full.size(); ++i) {
        ASSERT_FLOAT_EQ(recording.frames[i], full[i] * mci::gainOf(500)) << i;
        peak = std::max(peak, std::abs(full[i]));
    }
    EXPECT_GT(peak, 0.1f) << "the fixture is not silence";
}

// A song's gain holds from its first sample to its last: at a change from a
// song at -6 dB to one at 0 dB, the change falls on the second's first frame.
TEST_F(EngineOnABadOutput, AGainChangesOnTheFirstFrameOfTheNextSong) {
    using namespace mcitest;
    writeTagged("minus6.mp3", "two.mp3", id3v2Tag(txxxFrame("replaygain_track_gain", "-6.00 dB")));
    writeTagged("zero.mp3", "three.mp3", id3v2Tag(txxxFrame("replaygain_track_gain", "0.00 dB")));
    Recording recording;
    OutputsClosed closed;
    mci::forceOutput([&recording](long, int channels) {
        return std::make_unique<RecordingSink>(&recording, channels);
    });
    playToTheEnd("minus6.mp3", mci::kFullVolume, "track");
    playToTheEnd("zero.mp3", mci::kFullVolume, "track");
    std::vector<float> expected = decodeAll("two.mp3");
    mci::applyVolume(expected.data(), expected.size() / 2, 2, std::pow(10.0f, -6.0f / 20.0f));
    const std::vector<float> second = decodeAll("three.mp3");
    expected.insert(expected.end(), second.begin(), second.end());
    waitUntilRecorded(recording, expected.size());
    std::lock_guard lock(recording.mutex);
    ASSERT_EQ(recording.frames.size(), expected.size());
    const auto [got, wanted] =
        std::mismatch(recording.frames.begin(), recording.frames.end(), expected.begin());
    EXPECT_EQ(got, recording.frames.end()) << "from sample " << got - recording.frames.begin();
}

// exit() while a device plays, is paused or has ended must leave the
// process cleanly: the exit status is the one asked for, so no crash, no
// hang and no sanitizer report (which would change it).
void exitWhile(const char* lastCommand) {
    send("open two.mp3 type MPEGVideo alias x");
    send("open three.mp3 type MPEGVideo alias y");
    send("play y");
    send("play x");
    sleepMs(100);
    send(lastCommand);
    std::exit(3);
}

using EngineDeathTest = Engine;

TEST_F(EngineDeathTest, ExitWhilePlayingIsClean) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exitWhile("status x mode"), ::testing::ExitedWithCode(3), "");
    EXPECT_EXIT(exitWhile("pause x"), ::testing::ExitedWithCode(3), "");
    EXPECT_EXIT(exitWhile("play x from 1990"), ::testing::ExitedWithCode(3), "");
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    mcitest::installFixtures();
    return RUN_ALL_TESTS();
}
