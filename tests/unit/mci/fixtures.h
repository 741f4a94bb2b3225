// MP3 files and bad files made once per test binary in a temporary folder,
// with sox and lame, and a test base that runs inside that folder on the
// silent output.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/mci/audiosink.h"
#include "platform/mci/clock.h"
#include "platform/mci/mci.h"

namespace mcitest {

using mci::EngineClock;

// The folder that holds the fixtures.
const std::filesystem::path& fixtureFolder();

// A command interpreter's entry point: the engine's, or a stand-in for it.
using EntryPoint = int (*)(const char* command, char* reply, unsigned replySize);

// Sends a command and returns its code; the reply, if any, goes to *reply.
int send(const std::string& command, std::string* reply = nullptr,
         EntryPoint interpreter = mciSendString);
// The reply of a command that must succeed.
std::string ask(const std::string& command, EntryPoint interpreter = mciSendString);
long long askNumber(const std::string& command);

// Gain tags as taggers write them: ID3v2.4 frames and tag, APE items and tag.
std::string txxxFrame(const std::string& description, const std::string& value);
std::string rva2Frame(const std::string& identification, double db);
std::string id3v2Tag(const std::string& frames);
std::string apeTag(const std::vector<std::pair<std::string, std::string>>& items);
// Writes as name the fixture's bytes between a prefix and a suffix, the
// LAME tag's radio gain set to radioDb when given.
void writeTagged(const std::string& name, const std::string& fixture, const std::string& prefix,
                 const std::string& suffix = "", double radioDb = 0);

// Runs each test with the fixture folder as working directory and closes
// what the test left open.
class MciTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

  private:
    std::filesystem::path start_;
};

// Where the fixtures' devices play: the silent output, the same on every
// machine, or the usual choice (ALSA's default device when it opens).
enum class Output { kSilent, kUsual };

// Time that passes only when a test says so. The engine's thread waits only
// on this clock (for a command, or in a VirtualDevice for room), so that a
// test can tell when it has done all it can: settle().
class VirtualClock final : public mci::EngineClock {
  public:
    TimePoint now() override;
    void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                   TimePoint deadline) override;
    void notify(std::condition_variable& changed) override;

    // Lets time pass, then settles.
    void advance(std::chrono::milliseconds by);
    // Returns once the engine waits again with nothing left to do.
    void settle();

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    TimePoint now_{};
    long long kicks_ = 0;  // notifications and advances
    bool waiting_ = false;
    long long seen_ = -1;  // kicks_ when the engine began to wait
};

// A sound card on virtual time: it holds 100 ms and plays at its rate as
// the clock advances. Its record keeps every frame that it has played or
// still holds to play (a drain plays it at once); a drop takes those back.
class VirtualDevice final : public mci::AudioSink {
  public:
    struct Record {
        std::mutex mutex;
        std::vector<float> heard;
        std::vector<std::pair<long, int>> opens;
        int channels = 0;
        std::atomic<long> rate{0};  // of the last open
        std::atomic<int> interruptedWrites{0};
        std::atomic<long long> played{0};  // frames
        std::atomic<bool> stalled{false};  // plays nothing
        std::atomic<bool> failing{false};  // every write fails
        std::atomic<bool> canPause{false};
    };
    VirtualDevice(VirtualClock* clock, Record* record) : clock_(clock), record_(record) {}

    int open(long rate, int channels) override;
    int write(const float* frames, std::size_t count) override;
    long delay() override;
    void drain() override {}
    void drop() override;
    bool pause(bool on) override;
    void close() override {}
    void interrupt() override;
    void rearm() override;
    const char* name() const override { return "virtual"; }

  private:
    long long queued();

    VirtualClock* clock_;
    Record* record_;
    std::mutex mutex_;
    std::condition_variable changed_;
    long rate_ = 1;
    int channels_ = 1;
    long long queued_ = 0;
    mci::EngineClock::TimePoint since_{};  // when the oldest frame held began to play
    bool interrupted_ = false;
    bool paused_ = false;
};

// Installs the fixtures; call from main before RUN_ALL_TESTS.
void installFixtures(Output output = Output::kSilent);

}  // namespace mcitest
