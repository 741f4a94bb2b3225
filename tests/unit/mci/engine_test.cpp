// Playback on a virtual sound card and a virtual clock: the engine's
// thread runs as it would, and time passes only when a test lets it, so
// that positions and what is heard are checked to the sample.
#include "platform/mci/engine.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
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
using mcitest::VirtualDevice;
using std::chrono::milliseconds;

mcitest::VirtualClock virtualClock;

// Every frame of a file as the engine decodes it, from frame from on.
std::vector<float> decodeAll(const char* name, long long from = 0) {
    const int fd = ::open(name, O_RDONLY);
    mci::Decoder decoder;
    EXPECT_FALSE(decoder.open(fd).failed()) << name;
    const auto channels = static_cast<std::size_t>(decoder.channels());
    EXPECT_TRUE(decoder.seek(from));
    std::vector<float> all, chunk(1152 * channels);
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
        mci::forceOutput([this](long rate, int channels) {
            auto device = std::make_unique<VirtualDevice>(&virtualClock, &record_);
            device->open(rate, channels);
            return device;
        });
        mci::Engine::instance().setVolume(mci::kFullVolume);  // the engine's, for every song
        mciTakeNotify();
    }
    void open(const std::string& name) { run("open " + name + " type MPEGVideo alias x"); }
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
    long long position() { return askNumber("status x position"); }
    long rate() const { return record_.rate; }
    std::vector<float> heard() {
        std::lock_guard lock(record_.mutex);
        return record_.heard;
    }

    VirtualDevice::Record record_;
};

// An output that can pause holds what it has; one that cannot has it
// dropped and written again. Either way the device stops, and nothing is
// lost or repeated.
TEST_F(Engine, APauseAndResumeLoseAndRepeatNoSampleAndPlayAfterTheEndStartsOver) {
    for (const bool canPause : {false, true}) {
        SCOPED_TRACE(canPause ? "pausing output" : "dropping output");
        record_.canPause = canPause;
        open("two.mp3");
        run("play x notify");
        pass(300);
        EXPECT_NEAR(position(), 300, 1);
        run("pause x");
        EXPECT_EQ(ask("status x mode"), "paused");
        const long long paused = position();
        pass(100);  // the write under way ends, then the device stops
        const long long played = record_.played;
        pass(500);
        EXPECT_EQ(record_.played, played) << "the device played on";
        EXPECT_EQ(position(), paused);
        run("resume x");
        untilTheEnd();
        EXPECT_EQ(ask("status x mode"), "stopped");
        EXPECT_EQ(position(), askNumber("status x length"));
        EXPECT_TRUE(heard() == decodeAll("two.mp3"));
        run("play x");
        EXPECT_EQ(position(), 0);
        run("close x");
        std::lock_guard lock(record_.mutex);
        record_.heard.clear();
    }
}

// The next song follows on the same stream, each with its own gain from its
// first sample, also when a pause comes as the songs change (the first
// one's end is still in the device).
TEST_F(Engine, SongsFollowOnOneOutputAndAPauseAtTheChangeLosesNothing) {
    open("two.mp3");
    run("setaudio x volume to 500");
    EXPECT_EQ(askNumber("status x volume"), 500);
    run("play x notify");
    untilTheEnd(false);
    run("close x");
    open("three.mp3");
    mci::findSource("x")->setGain(0.5f);
    run("play x notify");
    run("pause x");
    EXPECT_EQ(position(), 0) << "the first song's end still plays";
    pass(300);
    run("resume x");
    untilTheEnd();
    std::vector<float> expected = decodeAll("two.mp3");
    for (const float sample : decodeAll("three.mp3")) {
        expected.push_back(sample * 0.5f);
    }
    for (float& sample : expected) {
        sample *= mci::gainOf(500);
    }
    EXPECT_TRUE(heard() == expected) << heard().size() << " samples, not " << expected.size();
    std::lock_guard lock(record_.mutex);
    EXPECT_EQ(record_.opens.size(), 1u) << "the second song opened an output of its own";
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

// A device that takes nothing does not end the track; no command waits for
// it (one that drops what it holds interrupts its write) or starts a
// thread. A device that fails ends it.
TEST_F(Engine, AStalledOutputHoldsUpNoCommandNoCommandStartsAThreadAFailingOneEndsTheTrack) {
    record_.stalled = true;
    open("two.mp3");
    const int threads = mci::Engine::threadsStarted();
    run("play x");
    pass(1200);
    EXPECT_EQ(ask("status x mode"), "playing");
    EXPECT_LT(position(), 50) << "nothing was heard";
    for (const char* command : {"pause x", "resume x", "stop x", "play x", "play x", "resume x",
                                "pause x", "set x speed 1500", "resume x", "play x from 500",
                                "setaudio x volume to 300", "stop x", "play x", "close x"}) {
        run(command);
    }
    EXPECT_EQ(mci::Engine::threadsStarted(), threads);
    EXPECT_EQ(threads, 1);
    EXPECT_GE(record_.interruptedWrites, 1);
    record_.failing = true;  // an output that fails ends the track
    run("open three.mp3 type MPEGVideo alias x");
    run("play x notify");
    EXPECT_TRUE(endSignalled());
    EXPECT_EQ(ask("status x mode"), "stopped");
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
        EXPECT_NEAR(heard().size() / record_.channels * 1000 / rate(), length, 2);
        run("close x");
        pass(200);
        std::lock_guard lock(record_.mutex);
        record_.heard.clear();
    }
}

// exit() while a device plays, is paused or has ended must leave the
// process cleanly: the exit status is the one asked for, so no crash, no
// hang and no sanitizer report (which would change it).
void exitWhile(const char* lastCommand) {
    send("open two.mp3 type MPEGVideo alias x");
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
