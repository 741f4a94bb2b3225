// The audio outputs on their own: the silent sink's clock, ALSA through its
// "null" device (present wherever ALSA is), and the quiet choice between them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/mci/alsasink.h"
#include "platform/mci/audiosink.h"
#include "platform/mci/silentsink.h"

namespace {

constexpr long kRate = 44100;
constexpr int kChannels = 2;
constexpr std::size_t kChunk = 1152;

const std::vector<float>& silence() {
    static const std::vector<float> frames(kChunk * kChannels, 0.0f);
    return frames;
}

// Captures what is written to standard error while it lives.
class StderrCapture {
  public:
    StderrCapture() {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        std::FILE* file = std::tmpfile();
        capture_ = dup(fileno(file));
        std::fclose(file);
        dup2(capture_, STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }

    std::string text() {
        restore();
        std::string text;
        char buffer[256];
        lseek(capture_, 0, SEEK_SET);
        for (ssize_t n; (n = read(capture_, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

  private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
    }
    int saved_ = -1;
    int capture_ = -1;
};

TEST(SilentSink, QueuesNoMoreThanADeviceBufferWould) {
    mci::SilentSink sink;
    ASSERT_EQ(sink.open(kRate, kChannels), 0);
    const long highMark = static_cast<long>(mci::SilentSink::kHighMarkSeconds * kRate);
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(sink.write(silence().data(), kChunk), 0);
        EXPECT_LE(sink.delay(), highMark + static_cast<long>(kChunk));
    }
    // Forty chunks (a second) were written but only a buffer's worth waits:
    // the rest was "heard" while write waited.
    EXPECT_GT(sink.delay(), 0);
    sink.drop();
    EXPECT_EQ(sink.delay(), 0);
}

TEST(SilentSink, DrainPlaysOutWhatIsQueued) {
    mci::SilentSink sink;
    ASSERT_EQ(sink.open(kRate, kChannels), 0);
    ASSERT_EQ(sink.write(silence().data(), kChunk), 0);
    sink.drain();
    EXPECT_EQ(sink.delay(), 0);
}

TEST(SilentSink, AWriterThatFellBehindStartsAFreshQueue) {
    mci::SilentSink sink;
    ASSERT_EQ(sink.open(kRate, kChannels), 0);
    ASSERT_EQ(sink.write(silence().data(), kChunk), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // longer than the chunk
    ASSERT_EQ(sink.write(silence().data(), kChunk), 0);
    // The second chunk is queued in full, not "heard" in advance.
    EXPECT_GT(sink.delay(), static_cast<long>(kChunk) / 2);
}

TEST(SilentSink, APauseHoldsWhatIsQueuedUntilResumed) {
    mci::SilentSink sink;
    ASSERT_EQ(sink.open(kRate, kChannels), 0);
    for (int i = 0; i < 8; ++i) {  // 200 ms, below the high mark: no wait
        sink.write(silence().data(), kChunk);
    }
    ASSERT_TRUE(sink.pause(true));
    const long held = sink.delay();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(sink.delay(), held);
    ASSERT_TRUE(sink.pause(false));
    EXPECT_GT(held, 0);
    EXPECT_LE(sink.delay(), held);
}

TEST(SilentSink, WithoutAClockNothingWaits) {
    mci::SilentSink sink({0.0});
    ASSERT_EQ(sink.open(kRate, kChannels), 0);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(sink.write(silence().data(), kChunk), 0);
    }
    EXPECT_EQ(sink.delay(), 0);
}

// A stop must not wait for the queued audio to play down: interrupt() ends
// the writer's wait at once, and the waits are back after rearm().
TEST(SilentSink, InterruptEndsTheWritersWaitUntilRearmed) {
    mci::SilentSink sink;
    ASSERT_EQ(sink.open(kRate, kChannels), 0);
    const long lowMark = static_cast<long>(mci::SilentSink::kLowMarkSeconds * kRate);
    const long highMark = static_cast<long>(mci::SilentSink::kHighMarkSeconds * kRate);
    const std::vector<float> second(kRate * kChannels, 0.0f);
    long queuedAfterWrite = 0;
    std::thread writer([&] {
        sink.write(second.data(), kRate);  // past the high mark: waits for the low one
        queuedAfterWrite = sink.delay();
    });
    sink.interrupt();
    writer.join();
    EXPECT_GT(queuedAfterWrite, highMark) << "the writer waited for the output";

    sink.drop();
    sink.rearm();
    ASSERT_EQ(sink.write(second.data(), static_cast<std::size_t>(highMark + lowMark)), 0);
    EXPECT_LE(sink.delay(), lowMark + static_cast<long>(kChunk)) << "rearmed: it waits again";
}

TEST(SilentSink, RefusesANonsenseFormat) {
    mci::SilentSink sink;
    EXPECT_NE(sink.open(0, kChannels), 0);
    EXPECT_NE(sink.open(kRate, 0), 0);
}

TEST(AlsaSink, PlaysThroughTheNullDevice) {
    mci::AlsaSink sink("null");
    ASSERT_EQ(sink.open(kRate, kChannels), 0);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(sink.write(silence().data(), kChunk), 0);
    }
    ASSERT_EQ(sink.write(nullptr, 0), 0);  // lets out what waits for a whole period
    sink.drain();
    EXPECT_EQ(sink.delay(), 0);
    ASSERT_EQ(sink.write(silence().data(), kChunk), 0);  // ready again after a drain
    sink.drop();
    ASSERT_EQ(sink.write(silence().data(), kChunk), 0);  // and after a drop
    sink.close();
    EXPECT_NE(sink.write(silence().data(), kChunk), 0);
}

// A peak beyond full scale saturates instead of wrapping round to the
// opposite sign; everything else is rounded to the nearest step.
TEST(AlsaSink, SixteenBitSamplesAreRoundedAndClipped) {
    const std::vector<float> in = {0.0f, 0.5f,  1.0f,         -1.0f,
                                   1.5f, -1.5f, 0.6f / 32768, -0.6f / 32768};
    std::vector<std::int16_t> out(in.size());
    mci::toSixteenBit(in.data(), in.size(), out.data());
    EXPECT_EQ(out, (std::vector<std::int16_t>{0, 16384, 32767, -32768, 32767, -32768, 1, -1}));
}

TEST(AlsaSink, AMissingDeviceFailsQuietly) {
    StderrCapture capture;
    mci::AlsaSink sink("no_such_device_here");
    EXPECT_NE(sink.open(kRate, kChannels), 0);
    EXPECT_EQ(capture.text(), "");
}

TEST(AudioOutput, TheChoiceIsQuietAndAlwaysGivesASink) {
    StderrCapture capture;
    const auto sink = mci::openAudioSink(kRate, kChannels);
    const std::string printed = capture.text();
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(printed, "");
    const std::string name = mci::audioOutputName();
    EXPECT_TRUE(name == "ALSA default" || name == "silent, no device") << name;
    EXPECT_EQ(name, sink->name());
}

}  // namespace
