#include "tests/unit/mci/fixtures.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>

#include "platform/mci/audiosink.h"
#include "platform/mci/engine.h"
#include "platform/mci/mci.h"
#include "support/mp3maker.h"
#include "support/temp_folder.h"

namespace mcitest {

namespace {

std::filesystem::path folder;
Output output = Output::kSilent;

// A tone of the given length, as an MP3 with a LAME header (exact length).
void makeTone(const std::string& name, double seconds, int rate, int channels) {
    mp3maker::makeTone(folder / name, seconds, rate, channels, "-b 96");
}

// A free-format stream: its headers carry no bit rate, so every frame size
// is found from the distance between headers.
void makeFreeFormat(const std::string& name) {
    mp3maker::makeTone(folder / name, 1, 44100, 2, "--freeformat -b 320");
}

void writeBytes(const std::string& name, const std::string& bytes) {
    std::ofstream out(folder / name, std::ios::binary);
    out << bytes;
}

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string randomBytes(std::size_t count) {
    std::mt19937 generator(7);
    std::string bytes(count, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator());
    }
    return bytes;
}

void makeBadFiles() {
    writeBytes("empty.mp3", "");
    writeBytes("text.mp3", "This is a shopping list, not a song.\nmilk\nbread\n");
    writeBytes("noise.mp3", randomBytes(200000));
    writeBytes("big-noise.mp3", randomBytes(10 * 1024 * 1024));
    mp3maker::run("sox -q -n -r 44100 -c 2 -t wav '" + (folder / "wave.mp3").string() +
                  "' synth 1 sine 440");
    std::filesystem::create_directory(folder / "folder.mp3");
}

// Two files joined, without headers: a second at 44.1 kHz, then three at
// 16 kHz. The length stops where the sample rate changes; a decoder could
// go on, resampling.
void makeJoinedRates() {
    const std::filesystem::path wav = folder / "tone.wav";
    const std::filesystem::path part = folder / "part.mp3";
    mp3maker::synthesize(wav, 44100, 2, "1 sine 440 vol 0.3");
    mp3maker::encode(wav, part, "-t -b 96");
    std::string first = readBytes(part);
    mp3maker::synthesize(wav, 16000, 2, "3 sine 330 vol 0.3");
    mp3maker::encode(wav, part, "-t -b 64");
    writeBytes("joined-rates.mp3", first + readBytes(part));
    std::filesystem::remove(part);
}

void makeTruncated() {
    std::string bytes = readBytes(folder / "three.mp3");
    writeBytes("truncated.mp3", bytes.substr(0, bytes.size() / 2));
}

// Names the fixture folder for the children of death tests, which run this
// binary again: they use their parent's folder instead of making one that
// nobody would remove, since a child ends without tearing down.
constexpr const char* kInheritedFolder = "MP3_MCI_TEST_FIXTURES";

class FixtureEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (const char* inherited = std::getenv(kInheritedFolder)) {
            folder = inherited;
        } else {
            make();
            setenv(kInheritedFolder, folder.c_str(), 1);
        }
        if (output == Output::kSilent) {
            mci::forceSilentOutput({});
        }
    }

    void TearDown() override {
        if (made_ != nullptr) {
            made_.reset();
            unsetenv(kInheritedFolder);
        }
    }

  private:
    void make() {
        made_ = std::make_unique<TempFolder>("mci-test");
        folder = made_->path();
        ASSERT_FALSE(folder.empty());
        makeTone("two.mp3", 2, 44100, 2);
        makeTone("three.mp3", 3, 44100, 2);
        makeTone("twelve.mp3", 12, 44100, 2);
        makeTone("mono.mp3", 1, 22050, 1);
        // Variable bit rate without a Xing/Info header: only the frames
        // themselves say where a time lies.
        mp3maker::synthesize(folder / "tone.wav", 44100, 2, "4 sine 300-3000 vol 0.3");
        mp3maker::encode(folder / "tone.wav", folder / "vbr-bare.mp3", "-V 2 -t");
        makeFreeFormat("free.mp3");
        mp3maker::makeTone(folder / "plain.mp3", 1, 44100, 2, "-b 96 --noreplaygain");
        std::filesystem::copy_file(folder / "two.mp3", folder / "My Song \xC3\xBC.mp3");
        makeTruncated();
        makeJoinedRates();
        makeBadFiles();
        std::filesystem::remove(folder / "tone.wav");
    }

    std::unique_ptr<TempFolder> made_;  // only in the process that made the folder
};

}  // namespace

const std::filesystem::path& fixtureFolder() {
    return folder;
}

namespace {

std::string bigEndian32(std::uint32_t value, int bitsPerByte = 8) {
    std::string bytes;
    for (int shift = 3 * bitsPerByte; shift >= 0; shift -= bitsPerByte) {
        bytes += static_cast<char>(value >> shift & ((1u << bitsPerByte) - 1));
    }
    return bytes;
}

std::string littleEndian32(std::uint32_t value) {
    const std::string bytes = bigEndian32(value);
    return {bytes.rbegin(), bytes.rend()};
}

std::string id3v2Frame(const std::string& id, const std::string& data) {
    return id + bigEndian32(static_cast<std::uint32_t>(data.size()), 7) + std::string(2, '\0') +
           data;
}

}  // namespace

std::string txxxFrame(const std::string& description, const std::string& value) {
    return id3v2Frame("TXXX", '\3' + description + '\0' + value);
}

std::string rva2Frame(const std::string& identification, double db) {
    const auto adjustment = static_cast<std::uint16_t>(static_cast<std::int16_t>(db * 512));
    return id3v2Frame("RVA2", identification + '\0' + '\1' + static_cast<char>(adjustment >> 8) +
                                  static_cast<char>(adjustment & 0xff) + '\0');
}

std::string id3v2Tag(const std::string& frames) {
    return std::string("ID3\4\0\0", 6) + bigEndian32(static_cast<std::uint32_t>(frames.size()), 7) +
           frames;
}

std::string apeTag(const std::vector<std::pair<std::string, std::string>>& items) {
    std::string bytes;
    for (const auto& [key, value] : items) {
        bytes += littleEndian32(static_cast<std::uint32_t>(value.size())) + littleEndian32(0) +
                 key + '\0' + value;
    }
    return bytes + "APETAGEX" + littleEndian32(2000) +
           littleEndian32(static_cast<std::uint32_t>(bytes.size() + 32)) +
           littleEndian32(static_cast<std::uint32_t>(items.size())) + std::string(12, '\0');
}

void writeTagged(const std::string& name, const std::string& fixture, const std::string& prefix,
                 const std::string& suffix, double radioDb) {
    std::string bytes = readBytes(folder / fixture);
    if (radioDb != 0) {
        // Name "radio", origin "set by the user", sign, tenths of a dB.
        const auto tenths = static_cast<unsigned>(std::lround(std::fabs(radioDb) * 10));
        const unsigned field = 1u << 13 | 2u << 10 | (radioDb < 0 ? 1u << 9 : 0) | tenths;
        const std::size_t at = bytes.find("LAME") + 15;
        bytes[at] = static_cast<char>(field >> 8);
        bytes[at + 1] = static_cast<char>(field & 0xff);
    }
    writeBytes(name, prefix + bytes + suffix);
}

int send(const std::string& command, std::string* reply, EntryPoint interpreter) {
    char buffer[128] = "untouched";
    const int code = interpreter(command.c_str(), buffer, sizeof buffer);
    if (reply != nullptr) {
        *reply = buffer;
    }
    return code;
}

std::string ask(const std::string& command, EntryPoint interpreter) {
    std::string reply;
    EXPECT_EQ(send(command, &reply, interpreter), 0) << command;
    return reply;
}

long long askNumber(const std::string& command) {
    return std::atoll(ask(command).c_str());
}

void MciTest::SetUp() {
    start_ = std::filesystem::current_path();
    ASSERT_EQ(chdir(folder.c_str()), 0);
}

void MciTest::TearDown() {
    if (start_.empty()) {
        return;  // skipped before SetUp ran
    }
    for (const char* alias : {"x", "y", "z", "MP3_Device", "song"}) {
        mciSendString((std::string("close ") + alias).c_str(), nullptr, 0);
    }
    mci::Engine::instance().releaseOutput();  // what a song left plays into no other test
    mci::forceOutput(nullptr);
    ASSERT_EQ(chdir(start_.c_str()), 0);
}

EngineClock::TimePoint VirtualClock::now() {
    std::lock_guard own(mutex_);
    return now_;
}

// Every wake of the engine's thread comes through notify() or advance(), so
// its own condition variable is not needed: it waits here.
void VirtualClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable&,
                             TimePoint deadline) {
    std::unique_lock own(mutex_);
    if (now_ < deadline) {
        const long long seen = seen_ = kicks_;
        waiting_ = true;
        changed_.notify_all();
        lock.unlock();
        changed_.wait(own, [&] { return kicks_ != seen; });
        waiting_ = false;
        own.unlock();
        lock.lock();
    }
}

void VirtualClock::notify(std::condition_variable&) {
    std::lock_guard own(mutex_);
    ++kicks_;
    changed_.notify_all();
}

void VirtualClock::advance(std::chrono::milliseconds by) {
    {
        std::lock_guard own(mutex_);
        now_ += by;
        ++kicks_;
        changed_.notify_all();
    }
    settle();
}

void VirtualClock::settle() {
    std::unique_lock own(mutex_);
    changed_.wait_for(own, std::chrono::seconds(10),
                      [this] { return waiting_ && seen_ == kicks_; });
}

int VirtualDevice::open(long rate, int channels) {
    rate_ = rate;
    channels_ = channels;
    std::lock_guard lock(record_->mutex);
    record_->opens.emplace_back(rate, channels);
    record_->channels = channels;
    record_->rate = rate;
    return 0;
}

// Under mutex_: what the device still holds, once it has played to now.
long long VirtualDevice::queued() {
    const auto now = clock_->now();
    const bool still = record_->stalled || paused_;
    if (queued_ > 0 && !still) {
        const std::chrono::duration<double> elapsed = now - since_;
        const long long played = std::min(queued_, static_cast<long long>(elapsed.count() * rate_));
        queued_ -= played;
        record_->played += played;
        since_ += std::chrono::nanoseconds(played * 1000000000 / rate_);
    }
    if (queued_ == 0 || still) {
        since_ = now;
    }
    return queued_;
}

int VirtualDevice::write(const float* frames, std::size_t count) {
    std::unique_lock lock(mutex_);
    while (!record_->failing && count > 0 && !interrupted_) {
        const auto room = static_cast<std::size_t>(rate_ / 10 - queued());
        if (room == 0) {  // room comes as the oldest frame plays
            clock_->waitUntil(lock, changed_,
                              since_ + std::chrono::nanoseconds(1000000000 / rate_));
            continue;
        }
        const std::size_t taken = std::min(room, count) * static_cast<std::size_t>(channels_);
        std::lock_guard recordLock(record_->mutex);
        record_->heard.insert(record_->heard.end(), frames, frames + taken);
        queued_ += static_cast<long long>(taken) / channels_;
        frames += taken;
        count -= taken / static_cast<std::size_t>(channels_);
    }
    std::lock_guard recordLock(record_->mutex);
    record_->interruptedWrites += count > 0 && interrupted_ ? 1 : 0;
    return record_->failing ? EIO : count > 0 ? ECANCELED : 0;
}

long VirtualDevice::delay() {
    std::lock_guard lock(mutex_);
    return static_cast<long>(queued());
}

void VirtualDevice::drop() {
    std::lock_guard lock(mutex_);
    std::lock_guard recordLock(record_->mutex);
    record_->heard.resize(record_->heard.size() - static_cast<std::size_t>(queued() * channels_));
    queued_ = 0;
    paused_ = false;
}

bool VirtualDevice::pause(bool on) {
    std::lock_guard lock(mutex_);
    queued();
    paused_ = on && record_->canPause;
    return record_->canPause;
}

void VirtualDevice::interrupt() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    clock_->notify(changed_);
}

void VirtualDevice::rearm() {
    std::lock_guard lock(mutex_);
    interrupted_ = false;
}

void installFixtures(Output where) {
    output = where;
    ::testing::AddGlobalTestEnvironment(new FixtureEnvironment);
}

}  // namespace mcitest
