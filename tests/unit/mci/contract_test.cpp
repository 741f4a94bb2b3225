// The command interpreter's contract: the replies and refusals that the
// player relies on, run against the engine (on the silent output) and
// against the fake that the player's tests link in its place, so that the
// fake cannot drift from the engine. Nothing here waits for audio to play.
#include <gtest/gtest.h>

#include <string>

#include "platform/mci/mci.h"
#include "tests/unit/mci/fixtures.h"
#include "tests/unit/player/fakes.h"

// The fake, built for this program with its entry point renamed.
int fakeMciSendString(const char* command, char* reply, unsigned replySize);

namespace {

struct Interpreter {
    const char* name;
    mcitest::EntryPoint send;
};

// The world both see: a song of twelve seconds, a file that is no MP3, and a
// name without a file.
constexpr char kSong[] = "twelve.mp3";
constexpr char kNoise[] = "noise.mp3";
constexpr char kMissing[] = "missing.mp3";
const std::string kOpen = std::string("open ") + kSong + " type MPEGVideo alias MP3_Device";

class Contract : public mcitest::MciTest, public ::testing::WithParamInterface<Interpreter> {
  protected:
    void SetUp() override {
        MciTest::SetUp();
        fake::resetMedia();
        fake::Media& media = fake::media();
        media.length = mcitest::ask(std::string("status ") + kSong + " length");
        media.fileLengths[kSong] = media.length;
        media.refusedFiles = {kNoise};
        media.missingFiles = {kMissing};
    }
    // The fixture's send and ask, to the interpreter under test.
    int send(const std::string& command) {
        return mcitest::send(command, nullptr, GetParam().send);
    }
    std::string ask(const std::string& command) { return mcitest::ask(command, GetParam().send); }
    std::string length() const { return fake::media().length; }
};

TEST_P(Contract, AnOpenSongStandsStoppedAtItsStartAtNormalSpeedAndFullVolume) {
    ASSERT_EQ(send(kOpen), 0);
    EXPECT_EQ(ask("status MP3_Device mode"), "stopped");
    EXPECT_EQ(ask("status MP3_Device position"), "0");
    EXPECT_EQ(ask("status MP3_Device length"), length());
    EXPECT_EQ(ask("status MP3_Device speed"), "1000");
    EXPECT_EQ(ask("status MP3_Device volume"), "1000");
    EXPECT_EQ(ask(std::string("status ") + kSong + " length"), length());
    EXPECT_EQ(send("close MP3_Device"), 0);
    EXPECT_EQ(send("status MP3_Device mode"), MCIERR_INVALID_DEVICE_NAME);
    EXPECT_EQ(send(kOpen), 0) << "close frees the alias";
}

TEST_P(Contract, PlayPauseResumeAndStopChangeTheMode) {
    ASSERT_EQ(send(kOpen), 0);
    EXPECT_EQ(send("pause MP3_Device"), 0);
    EXPECT_EQ(send("resume MP3_Device"), 0);
    EXPECT_EQ(ask("status MP3_Device mode"), "stopped") << "pause and resume change no stop";
    EXPECT_EQ(send("play MP3_Device notify"), 0);
    EXPECT_EQ(ask("status MP3_Device mode"), "playing");
    EXPECT_EQ(send("pause MP3_Device"), 0);
    EXPECT_EQ(ask("status MP3_Device mode"), "paused");
    EXPECT_EQ(send("resume MP3_Device"), 0);
    EXPECT_EQ(ask("status MP3_Device mode"), "playing");
    EXPECT_EQ(send("stop MP3_Device"), 0);
    EXPECT_EQ(ask("status MP3_Device mode"), "stopped");
    EXPECT_EQ(send("play MP3_Device from 6000 notify"), 0);
    EXPECT_EQ(ask("status MP3_Device mode"), "playing");
    EXPECT_EQ(send("play MP3_Device from " + length()), 0) << "the very end is a position";
}

TEST_P(Contract, SpeedAndVolumeAreKeptWithinTheirRanges) {
    ASSERT_EQ(send(kOpen), 0);
    EXPECT_EQ(send("set MP3_Device speed  1500"), 0);
    EXPECT_EQ(send("setaudio MP3_Device volume to 250"), 0);
    EXPECT_EQ(ask("status MP3_Device speed"), "1500");
    EXPECT_EQ(ask("status MP3_Device volume"), "250");
    for (const char* bound :
         {"set MP3_Device speed  100", "set MP3_Device speed  2000",
          "setaudio MP3_Device volume to 0", "setaudio MP3_Device volume to 1000"}) {
        EXPECT_EQ(send(bound), 0) << bound;
    }
}

// The ReplayGain kind is one of three words; the gain is told while it is on.
TEST_P(Contract, TheGainKindIsOneOfThreeWords) {
    ASSERT_EQ(send(kOpen), 0);
    EXPECT_EQ(ask("status MP3_Device replaygain"), "off");
    EXPECT_EQ(send("setaudio MP3_Device replaygain to loud"), MCIERR_UNRECOGNIZED_KEYWORD);
    EXPECT_EQ(send("setaudio MP3_Device replaygain to album"), 0);
    EXPECT_NE(ask("status MP3_Device replaygain"), "off");
}

// Each refused command, with the code that the player tells apart.
struct Refusal {
    const char* command;
    int code;
};

TEST_P(Contract, RefusalsCarryTheirCause) {
    ASSERT_EQ(send(kOpen), 0);
    const std::string pastTheEnd = std::to_string(std::stoll(length()) + 1);
    const Refusal refusals[] = {
        {"play nosuch", MCIERR_INVALID_DEVICE_NAME},
        {"status nosuch mode", MCIERR_INVALID_DEVICE_NAME},
        {"close nosuch", MCIERR_INVALID_DEVICE_NAME},
        {"frobnicate MP3_Device", MCIERR_UNRECOGNIZED_COMMAND},
        {"set MP3_Device speed  fast", MCIERR_BAD_INTEGER},
        {"set MP3_Device speed  99", MCIERR_OUTOFRANGE},
        {"set MP3_Device speed  2001", MCIERR_OUTOFRANGE},
        {"setaudio MP3_Device volume to 1001", MCIERR_OUTOFRANGE},
        {"setaudio MP3_Device volume to loud", MCIERR_BAD_INTEGER},
        {"play MP3_Device from 1.5", MCIERR_BAD_INTEGER},
        {"play MP3_Device from -1", MCIERR_OUTOFRANGE},
        {"play MP3_Device from 99999999999999999999", MCIERR_OUTOFRANGE},
        {kOpen.c_str(), MCIERR_DUPLICATE_ALIAS},
        {"open missing.mp3 type MPEGVideo alias other", MCIERR_FILE_NOT_FOUND},
        {"open noise.mp3 type MPEGVideo alias other", MCIERR_INVALID_FILE},
    };
    for (const Refusal& refusal : refusals) {
        EXPECT_EQ(send(refusal.command), refusal.code) << refusal.command;
    }
    EXPECT_EQ(send("play MP3_Device from " + pastTheEnd), MCIERR_OUTOFRANGE);
    EXPECT_EQ(ask("status MP3_Device speed"), "1000") << "a refused value changes nothing";
    EXPECT_EQ(ask("status MP3_Device volume"), "1000");
    EXPECT_EQ(ask("status MP3_Device mode"), "stopped");
    EXPECT_EQ(ask("status MP3_Device length"), length()) << "the duplicate left the first";
}

// The measurement of a song the player has not opened: by name, or by the
// alias "song" under which it opens one for a moment.
TEST_P(Contract, SongsAreMeasuredByNameAndByTheAliasSong) {
    EXPECT_EQ(ask(std::string("status ") + kSong + " length"), length());
    ASSERT_EQ(send(std::string("open ") + kSong + " alias song"), 0);
    EXPECT_EQ(ask("status song length"), length());
    EXPECT_EQ(send("close song"), 0);
    EXPECT_EQ(send(std::string("status ") + kNoise + " length"), MCIERR_INVALID_FILE);
    EXPECT_EQ(send(std::string("status ") + kMissing + " length"), MCIERR_INVALID_DEVICE_NAME);
}

INSTANTIATE_TEST_SUITE_P(BothInterpreters, Contract,
                         ::testing::Values(Interpreter{"engine", mciSendString},
                                           Interpreter{"fake", fakeMciSendString}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    mcitest::installFixtures();
    return RUN_ALL_TESTS();
}
