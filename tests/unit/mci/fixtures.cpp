#include "tests/unit/mci/fixtures.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include "platform/mci/audiosink.h"
#include "platform/mci/mci.h"

namespace mcitest {

namespace {

std::filesystem::path folder;
Output output = Output::kSilent;

void run(const std::string& command) {
    const int status = std::system(command.c_str());
    ASSERT_EQ(status, 0) << command;
}

// A tone of the given length, as an MP3 with a LAME header (exact length).
void makeTone(const std::string& name, double seconds, int rate, int channels) {
    const std::string wav = (folder / "tone.wav").string();
    run("sox -q -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " '" + wav +
        "' synth " + std::to_string(seconds) + " sine 440 vol 0.3");
    run("lame --quiet -b 96 '" + wav + "' '" + (folder / name).string() + "'");
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
    run("sox -q -n -r 44100 -c 2 -t wav '" + (folder / "wave.mp3").string() + "' synth 1 sine 440");
    std::filesystem::create_directory(folder / "folder.mp3");
}

// Two files joined, without headers: a second at 44.1 kHz, then three at
// 16 kHz. The length stops where the sample rate changes; a decoder could
// go on, resampling.
void makeJoinedRates() {
    const std::string wav = (folder / "tone.wav").string();
    const std::string part = (folder / "part.mp3").string();
    run("sox -q -n -r 44100 -c 2 '" + wav + "' synth 1 sine 440 vol 0.3");
    run("lame --quiet -t -b 96 '" + wav + "' '" + part + "'");
    std::string first = readBytes(part);
    run("sox -q -n -r 16000 -c 2 '" + wav + "' synth 3 sine 330 vol 0.3");
    run("lame --quiet -t -b 64 '" + wav + "' '" + part + "'");
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
            owner_ = true;
            setenv(kInheritedFolder, folder.c_str(), 1);
        }
        if (output == Output::kSilent) {
            mci::forceSilentOutput({});
        }
    }

    void TearDown() override {
        if (owner_) {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
            unsetenv(kInheritedFolder);
        }
    }

  private:
    static void make() {
        std::string pattern = (std::filesystem::temp_directory_path() / "mci-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        makeTone("two.mp3", 2, 44100, 2);
        makeTone("three.mp3", 3, 44100, 2);
        makeTone("twelve.mp3", 12, 44100, 2);
        makeTone("mono.mp3", 1, 22050, 1);
        std::filesystem::copy_file(folder / "two.mp3", folder / "My Song \xC3\xBC.mp3");
        makeTruncated();
        makeJoinedRates();
        makeBadFiles();
        std::filesystem::remove(folder / "tone.wav");
    }

    bool owner_ = false;
};

}  // namespace

const std::filesystem::path& fixtureFolder() {
    return folder;
}

int send(const std::string& command, std::string* reply) {
    char buffer[128] = "untouched";
    const int code = mciSendString(command.c_str(), buffer, sizeof buffer);
    if (reply != nullptr) {
        *reply = buffer;
    }
    return code;
}

std::string ask(const std::string& command) {
    std::string reply;
    EXPECT_EQ(send(command, &reply), 0) << command;
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
    ASSERT_EQ(chdir(start_.c_str()), 0);
}

void installFixtures(Output where) {
    output = where;
    ::testing::AddGlobalTestEnvironment(new FixtureEnvironment);
}

}  // namespace mcitest
