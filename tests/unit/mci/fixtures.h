// MP3 files and bad files made once per test binary in a temporary folder,
// with sox and lame, and a test base that runs inside that folder on the
// silent output.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace mcitest {

// The folder that holds the fixtures.
const std::filesystem::path& fixtureFolder();

// Sends a command and returns its code; the reply, if any, goes to *reply.
int send(const std::string& command, std::string* reply = nullptr);
// The reply of a command that must succeed.
std::string ask(const std::string& command);
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

// Installs the fixtures; call from main before RUN_ALL_TESTS.
void installFixtures(Output output = Output::kSilent);

}  // namespace mcitest
