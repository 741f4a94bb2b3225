// Playback on a virtual sound card and a virtual clock: the engine's
// thread runs as it would, and time passes only when a test lets it, so
// that positions and what is heard are checked to the sample.
#include "platform/mci/engine.h"

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
#include <utility>
#include <vector>

#include "platform/mci/audiosink.h"
#include "platform/mci/decoder.h"
#include "platform/mci/mci.h"
#include "platform/mci/volume.h"
#include "tests/unit/mci/fixtures.h"

namespace {

using mcitest::ask;
using mcitest::askNumber;
using mcitest::MciTest;
using mcitest::send;
using mcitest::VirtualClock;
using mcitest::VirtualDevice;
using std::chrono::milliseconds;

VirtualClock virtualClock;

// Every frame of a file as the engine decodes it, from frame from on.
std::vector<float> decodeAll(const char* name, long long from = 0) {
    const int fd = ::open(name, O_RDONLY);
    mci::Decoder decoder;
    EXPECT_FALSE(decoder.open(fd).failed()) << name;
    const auto channels = static_cast<std::size_t>(decoder.channels());
    EXPECT_TRUE(decoder.seek(from));
    std::vector<float> all;
    std::vector<float> chunk(1152 * channels);
    std::size_t count = 0;
    while (decoder.read(chunk.data(), 1152, &count) == mci::Decoder::Status::kData) {
        all.insert(all.end(), chunk.begin(), chunk.begin() + static_cast<long>(count * channels));
    }
    ::close(fd);
    return all;
}

bool endSignalled() {
    pollfd event{mciNotifyDescriptor(), POLLIN, 0};
    return poll(&event, 1, 0) == 1;
}

class Engine : public MciTest {
  protected:
    void SetUp() override {
        MciTest::SetUp();
        mci::forceOutput([this](long rate, int channels) { return device(rate, channels); });
        mciTakeNotify();
    }
    void TearDown() override {
        MciTest::TearDown();
        mci::forceOutput(nullptr);
    }

    std::unique_ptr<VirtualDevice> device(long rate, int channels) {
        auto device = std::make_unique<VirtualDevice>(&virtualClock, &record_);
        device->open(rate, channels);
        return device;
    }
    void open(const std::string& name, const char* alias = "x") {
        run("open " + name + " type MPEGVideo alias " + alias);
    }
    // Sends a command that must succeed and lets the engine take it up.
    void run(const std::string& command) {
        ASSERT_EQ(send(command), 0) << command;
        virtualClock.settle();
    }
    // Lets time pass in steps shorter than the device holds, as a card
    // plays on without running dry.
    void pass(long long ms) {
        for (long long done = 0; done < ms; done += 10) {
            virtualClock.advance(milliseconds(std::min(10LL, ms - done)));
        }
    }
    // Plays until the end of the track is signalled, then lets the device
    // play what it holds unless told otherwise.
    void untilTheEnd(bool playOut = true) {
        for (int step = 0; step < 2000 && !endSignalled(); ++step) {
            pass(10);
        }
        ASSERT_TRUE(endSignalled()) << "no signal at the end";
        mciTakeNotify();
        pass(playOut ? 150 : 0);
    }
    long long position(const char* alias = "x") {
        return askNumber(std::string("status ") + alias + " position");
    }
    long rate() {
        std::lock_guard lock(record_.mutex);
        return record_.opens.empty() ? 0 : record_.opens.back().first;
    }
    std::vector<float> heard() {
        std::lock_guard lock(record_.mutex);
        return record_.heard;
    }

    VirtualDevice::Record record_;
};

TEST_F(Engine, APauseAndResumeLoseAndRepeatNoSampleAndPlayAfterTheEndStartsOver) {
    open("two.mp3");
    run("play x notify");
    EXPECT_EQ(ask("status x mode"), "playing");
    pass(300);
    EXPECT_NEAR(position(), 300, 1);
    run("pause x");
    EXPECT_EQ(ask("status x mode"), "paused");
    pass(100);  // the write under way ends (a few ms), then the device stops
    const long long paused = position();
    EXPECT_NEAR(paused, 300, 50);
    pass(500);
    EXPECT_EQ(position(), paused);
    EXPECT_NEAR(record_.frames() * 1000 / rate(), paused + 16, 16) << "within a write of it";
    run("resume x");
    EXPECT_EQ(ask("status x mode"), "playing");
    untilTheEnd();
    EXPECT_EQ(ask("status x mode"), "stopped");
    EXPECT_EQ(position(), askNumber("status x length"));
    EXPECT_TRUE(heard() == decodeAll("two.mp3"));
    run("play x");
    EXPECT_EQ(ask("status x mode"), "playing");
    EXPECT_EQ(position(), 0);
}

// The next song follows on the same stream, also when a pause comes as the
// songs change (the first one's end is still in the device); a song of
// another format opens the output afresh once the stream has played out.
TEST_F(Engine, SongsFollowOnOneOutputAndAPauseAtTheChangeLosesNothing) {
    open("two.mp3");
    run("play x notify");
    untilTheEnd(false);
    run("close x");
    open("three.mp3");
    run("play x notify");
    run("pause x");
    EXPECT_EQ(position(), 0) << "the first song's end still plays";
    pass(300);
    run("resume x");
    untilTheEnd();
    std::vector<float> expected = decodeAll("two.mp3");
    const std::vector<float> second = decodeAll("three.mp3");
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_TRUE(heard() == expected) << heard().size() << " samples, not " << expected.size();
    run("close x");
    open("mono.mp3");
    run("play x notify");
    untilTheEnd();
    std::lock_guard lock(record_.mutex);
    const std::pair<long, int> first{32000, 2};  // lame's rate for 96 kbit/s
    EXPECT_EQ(record_.opens, (std::vector<std::pair<long, int>>{first, {22050, 1}}));
}

TEST_F(Engine, AJumpLandsOnItsSampleInAVbrFileWithoutAHeader) {
    open("vbr-bare.mp3");
    EXPECT_EQ(send("play x from 4100"), MCIERR_OUTOFRANGE);
    run("play x from 1234");
    EXPECT_EQ(position(), 1234);
    pass(500);
    EXPECT_NEAR(position(), 1734, 1);
    const std::vector<float> played = heard();
    std::vector<float> expected = decodeAll("vbr-bare.mp3", 1234 * 441 / 10);
    ASSERT_GT(played.size(), 40000u);
    expected.resize(played.size());
    EXPECT_TRUE(played == expected);
}

// The speed stage starts from the sample heard, and at the normal speed it
// leaves the path: the source's own samples follow after a short crossfade.
TEST_F(Engine, ASpeedChangeGoesOnFromTheSamplePlaying) {
    open("three.mp3");
    run("play x");
    pass(1000);
    ASSERT_NEAR(position(), 1000, 1);
    run("set x speed 2000");
    pass(500);
    // The source's own frames play up to where the change took effect (what
    // the device holds plays out first), and from there on twice as fast.
    const std::vector<float> all = decodeAll("three.mp3");
    const std::vector<float> played = heard();
    const auto changedAt = static_cast<long long>(
        std::mismatch(played.begin(), played.end(), all.begin()).first - played.begin());
    const long long changedMs = changedAt / 2 * 1000 / rate();
    EXPECT_NEAR(changedMs, 1070, 70);
    EXPECT_NEAR(position(), changedMs + 2 * (1500 - changedMs), 30);
    run("set x speed 1000");
    const long long back = position();
    pass(300);
    // The last 100 ms written are the source's own frames, from where the
    // speed went back to normal on.
    const std::vector<float> after = heard();
    const std::vector<float> tail(after.end() - rate() / 10 * 2, after.end());
    const auto at = [&](long long ms) { return all.begin() + ms * rate() / 1000 * 2; };
    const auto end = at(back + 560) + static_cast<long>(tail.size());
    EXPECT_NE(std::search(at(back + 140), end, tail.begin(), tail.end()), end);
    EXPECT_EQ(ask("status x speed"), "1000");
}

TEST_F(Engine, CommandsStartNoThreadAndThoseThatChangeNothingSucceed) {
    open("two.mp3");
    const int threads = mci::Engine::threadsStarted();
    for (const char* command : {"pause x", "resume x", "stop x", "play x", "play x", "resume x",
                                "pause x", "set x speed 1500", "resume x", "play x from 500",
                                "setaudio x volume to 300", "stop x", "play x", "close x"}) {
        run(command);
    }
    EXPECT_EQ(mci::Engine::threadsStarted(), threads);
    EXPECT_EQ(threads, 1);
}

TEST_F(Engine, PlayingAnotherAliasStopsTheOneThatSoundsWhereItIsHeard) {
    open("three.mp3");
    open("two.mp3", "y");
    run("play x from 1000");
    pass(200);
    run("play y");
    EXPECT_EQ(ask("status x mode"), "stopped");
    EXPECT_NEAR(position(), 1200, 1);
    pass(100);
    EXPECT_EQ(ask("status y mode"), "playing");
    EXPECT_NEAR(position("y"), 100, 1);
}

// The volume scales every sample as it goes to the output, and a source's
// own gain every sample of that source, from its first on the stream.
TEST_F(Engine, VolumeAndASourcesGainScaleEverySampleFromItsFirst) {
    open("two.mp3");
    run("setaudio x volume to 500");
    EXPECT_EQ(askNumber("status x volume"), 500);
    run("play x notify");
    untilTheEnd();
    run("close x");
    open("three.mp3");
    mci::findSource("x")->setGain(0.5f);
    run("play x notify");
    untilTheEnd();
    std::vector<float> expected = decodeAll("two.mp3");
    const std::size_t firstSong = expected.size();
    const std::vector<float> second = decodeAll("three.mp3");
    expected.insert(expected.end(), second.begin(), second.end());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i] = (i < firstSong ? expected[i] : expected[i] * 0.5f) * mci::gainOf(500);
    }
    EXPECT_TRUE(heard() == expected);
}

// A song's gain from its tags holds from its first sample to its last: at a
// change from a song at -6 dB to one at 0 dB, the change falls on the
// second's first frame.
TEST_F(Engine, AGainFromTheTagsChangesOnTheFirstFrameOfTheNextSong) {
    using namespace mcitest;
    writeTagged("minus6.mp3", "two.mp3", id3v2Tag(txxxFrame("replaygain_track_gain", "-6.00 dB")));
    writeTagged("zero.mp3", "three.mp3", id3v2Tag(txxxFrame("replaygain_track_gain", "0.00 dB")));
    const auto play = [this](const char* name, bool playOut) {
        open(name);
        run("setaudio x volume to 1000");
        run("setaudio x replaygain to track");
        run("play x notify");
        untilTheEnd(playOut);
        run("close x");
    };
    play("minus6.mp3", false);  // its end is still in the device as the next song follows
    play("zero.mp3", true);
    std::vector<float> expected = decodeAll("two.mp3");
    mci::applyVolume(expected.data(), expected.size() / 2, 2, std::pow(10.0f, -6.0f / 20.0f));
    const std::vector<float> second = decodeAll("three.mp3");
    expected.insert(expected.end(), second.begin(), second.end());
    const std::vector<float> got = heard();
    ASSERT_EQ(got.size(), expected.size());
    const auto firstDifference = std::mismatch(got.begin(), got.end(), expected.begin()).first;
    EXPECT_EQ(firstDifference - got.begin(), got.end() - got.begin());
}

// Files that end early, change their rate or are not plain CBR play to
// their measured length and stop there.
TEST_F(Engine, OddFilesPlayTheirMeasuredLength) {
    for (const char* name : {"truncated.mp3", "joined-rates.mp3", "mono.mp3", "free.mp3"}) {
        SCOPED_TRACE(name);
        open(name);
        const long long length = askNumber("status x length");
        run("play x notify");
        untilTheEnd();
        EXPECT_EQ(ask("status x mode"), "stopped");
        EXPECT_EQ(position(), length);
        EXPECT_NEAR(record_.frames() * 1000 / rate(), length, 2);
        run("close x");
        pass(200);
        std::lock_guard lock(record_.mutex);
        record_.heard.clear();
    }
}

// A device that takes nothing does not end the track, and every command
// still gets through to the engine.
TEST_F(Engine, AStalledOutputHoldsUpNoCommand) {
    record_.stalled = true;
    open("two.mp3");
    run("play x");
    pass(1200);
    EXPECT_EQ(ask("status x mode"), "playing");
    EXPECT_LT(position(), 50) << "nothing was heard";
    for (const char* command : {"pause x", "resume x", "play x from 1000", "set x speed 1500",
                                "stop x", "play x", "close x"}) {
        run(command);
    }
    std::lock_guard lock(record_.mutex);
    EXPECT_GE(record_.interruptedWrites, 1);
}

TEST_F(Engine, AFailingOutputEndsTheTrack) {
    record_.failing = true;
    open("three.mp3");
    run("play x notify");
    EXPECT_TRUE(endSignalled());
    EXPECT_EQ(ask("status x mode"), "stopped");
}

// The output opens on the engine's thread: play does not wait for it, nor
// does a stop, and the output's name is not probed beside it.
TEST_F(Engine, AnOutputStillOpeningHoldsUpNothing) {
    std::mutex mutex;
    std::condition_variable changed;
    bool opening = false;
    bool mayOpen = false;
    int opened = 0;
    mci::forceOutput([&](long rate, int channels) {
        std::unique_lock lock(mutex);
        opening = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return mayOpen; });
        ++opened;
        return device(rate, channels);
    });
    open("two.mp3");
    ASSERT_EQ(send("play x"), 0);
    EXPECT_EQ(mciAudioOutput(), nullptr);
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return opening; });
    }
    EXPECT_EQ(ask("status x mode"), "playing");
    EXPECT_EQ(position(), 0);
    ASSERT_EQ(send("stop x"), 0);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(opened, 0) << "the stop waited for the output";
        mayOpen = true;
    }
    changed.notify_all();
    virtualClock.settle();
    EXPECT_STREQ(mciAudioOutput(), "virtual");
}

// exit() while a device plays, is paused or has ended must leave the
// process cleanly: the exit status is the one asked for, so no crash, no
// hang and no sanitizer report (which would change it).
void exitWhile(const char* lastCommand) {
    send("open two.mp3 type MPEGVideo alias x");
    send("open three.mp3 type MPEGVideo alias y");
    send("play y");
    send("play x");
    virtualClock.advance(milliseconds(10));
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
    mci::useEngineClock(&virtualClock);
    mcitest::installFixtures();
    return RUN_ALL_TESTS();
}
