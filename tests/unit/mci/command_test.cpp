// The command texts: words, keywords, numbers, replies and errors. Nothing
// here plays; the playback behaviour is in engine_test.cpp.
#include "platform/mci/command.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/mci/mci.h"
#include "platform/mci/volume.h"
#include "platform/shortname.h"
#include "tests/unit/mci/fixtures.h"

namespace {

using mcitest::ask;
using mcitest::askNumber;
using mcitest::MciTest;
using mcitest::send;

std::vector<std::string> split(const std::string& text, int expectedCode = 0) {
    std::vector<std::string> words;
    EXPECT_EQ(mci::splitWords(text, &words), expectedCode) << text;
    return words;
}

TEST(Words, SplitAtRunsOfBlanksAndTabs) {
    using V = std::vector<std::string>;
    EXPECT_EQ(split("set MP3_Device speed  1500"), (V{"set", "MP3_Device", "speed", "1500"}));
    EXPECT_EQ(split("  play\tx  "), (V{"play", "x"}));
    EXPECT_EQ(split(""), V{});
    EXPECT_EQ(split("   "), V{});
}

TEST(Words, QuotedWordsKeepTheirBlanksAndLoseTheirQuotes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(split("open \"My  Song.mp3\" alias x"), (V{"open", "My  Song.mp3", "alias", "x"}));
    EXPECT_EQ(split("open \"\" alias x"), (V{"open", "", "alias", "x"}));
    split("open \"My Song.mp3 alias x", MCIERR_NO_CLOSING_QUOTE);
}

TEST(Words, KeywordsCompareWithoutRegardToCase) {
    EXPECT_TRUE(mci::sameWord("MPEGVideo", "mpegvideo"));
    EXPECT_TRUE(mci::sameWord("MP3_Device", "mp3_device"));
    EXPECT_FALSE(mci::sameWord("play", "pla"));
    EXPECT_FALSE(mci::sameWord("\xC3\xBC", "\xC3\x9C"));  // only ASCII letters fold
}

TEST(Words, NumbersAreWholeDecimalNumbers) {
    long long value = -1;
    EXPECT_EQ(mci::parseNumber("1500", &value), 0);
    EXPECT_EQ(value, 1500);
    EXPECT_EQ(mci::parseNumber("0", &value), 0);
    EXPECT_EQ(value, 0);
    for (const char* bad : {"", "abc", "12x", "1.5", "+5", " 5", "-", "0x10"}) {
        EXPECT_EQ(mci::parseNumber(bad, &value), MCIERR_BAD_INTEGER) << bad;
    }
    EXPECT_EQ(mci::parseNumber("-5", &value), MCIERR_OUTOFRANGE);
    EXPECT_EQ(mci::parseNumber("1234567890123456789", &value), MCIERR_OUTOFRANGE);
}

// The rows of the command table that do not need the sound to run.
TEST_F(MciTest, PlaybackDeviceOpensStoppedAtZeroAndClosesToFreeItsAlias) {
    ASSERT_EQ(send("open two.mp3 type MPEGVideo alias MP3_Device"), 0);
    EXPECT_EQ(ask("status MP3_Device mode"), "stopped");
    EXPECT_NEAR(askNumber("status MP3_Device length"), 2000, 30);
    EXPECT_EQ(ask("status MP3_Device position"), "0");
    EXPECT_EQ(send("set MP3_Device speed  1500"), 0);
    EXPECT_EQ(ask("status MP3_Device mode"), "stopped");
    EXPECT_EQ(send("close MP3_Device"), 0);
    EXPECT_EQ(send("status MP3_Device mode"), MCIERR_INVALID_DEVICE_NAME);
    EXPECT_EQ(send("open three.mp3 type MPEGVideo alias MP3_Device"), 0);
    EXPECT_NEAR(askNumber("status MP3_Device length"), 3000, 30);
}

TEST_F(MciTest, MeasurementByAliasAndByFileName) {
    ASSERT_EQ(send("open three.mp3 alias song"), 0);
    EXPECT_NEAR(askNumber("status song length"), 3000, 30);
    EXPECT_NEAR(askNumber("status three.mp3 length"), 3000, 30);
    EXPECT_NEAR(askNumber("status mono.mp3 length"), 1000, 60);
    EXPECT_EQ(send("close song"), 0);
    // Measuring by file name opens no device.
    EXPECT_EQ(send("close three.mp3"), MCIERR_INVALID_DEVICE_NAME);
    EXPECT_EQ(send("status three.mp3 mode"), MCIERR_INVALID_DEVICE_NAME);
}

// The measurement opens a song and then asks its length by name: the file
// is read once, when it is opened. Changed since, it still answers as opened
// while the device has it; closed, it is measured afresh.
TEST_F(MciTest, AFileOpenAsADeviceIsMeasuredOnce) {
    std::filesystem::copy_file("three.mp3", "measured-once.mp3",
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(send("open measured-once.mp3 alias song"), 0);
    std::filesystem::resize_file("measured-once.mp3", 0);
    EXPECT_NEAR(askNumber("status measured-once.mp3 length"), 3000, 30);
    EXPECT_EQ(send("close song"), 0);
    EXPECT_EQ(send("status measured-once.mp3 length"), MCIERR_INVALID_FILE);
    std::filesystem::remove("measured-once.mp3");
}

TEST_F(MciTest, KeywordsAndAliasesIgnoreLetterCase) {
    ASSERT_EQ(send("OPEN two.mp3 TYPE mpegvideo ALIAS x"), 0);
    EXPECT_EQ(ask("Status X Mode"), "stopped");
    EXPECT_EQ(send("open three.mp3 alias X"), MCIERR_DUPLICATE_ALIAS);
    EXPECT_EQ(send("CLOSE x"), 0);
}

TEST_F(MciTest, QuotedAndUtf8NamesOpen) {
    ASSERT_EQ(send("open \"My Song \xC3\xBC.mp3\" type MPEGVideo alias x"), 0);
    EXPECT_NEAR(askNumber("status x length"), 2000, 30);
    EXPECT_NEAR(askNumber("status \"My Song \xC3\xBC.mp3\" length"), 2000, 30);
    ASSERT_EQ(send("open \"" + (mcitest::fixtureFolder() / "two.mp3").string() + "\" alias y"), 0);
    EXPECT_EQ(send("open \"My Song \xC3\xBC.mp3 alias z"), MCIERR_NO_CLOSING_QUOTE);
    EXPECT_EQ(errno, EINVAL);
}

// The player opens songs by their short name, which holds no blank.
TEST_F(MciTest, ShortNamesOpenTheFileTheyStandFor) {
    char shortName[80] = "";
    ASSERT_GT(GetShortPathName("My Song \xC3\xBC.mp3", shortName, sizeof shortName), 0u);
    ASSERT_EQ(std::string(shortName).find(' '), std::string::npos) << shortName;
    ASSERT_EQ(send(std::string("open ") + shortName + " type MPEGVideo alias x"), 0);
    EXPECT_NEAR(askNumber("status x length"), 2000, 30);
    EXPECT_NEAR(askNumber(std::string("status ") + shortName + " length"), 2000, 30);
}

TEST_F(MciTest, OpenWithoutAliasGoesByItsName) {
    ASSERT_EQ(send("open two.mp3"), 0);
    EXPECT_EQ(ask("status two.mp3 mode"), "stopped");
    EXPECT_EQ(send("close two.mp3"), 0);
}

TEST_F(MciTest, DuplicateAliasIsRefusedAndTheFirstDeviceStays) {
    ASSERT_EQ(send("open two.mp3 type MPEGVideo alias x"), 0);
    errno = 0;
    EXPECT_EQ(send("open three.mp3 type MPEGVideo alias x"), MCIERR_DUPLICATE_ALIAS);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_NEAR(askNumber("status x length"), 2000, 30);
}

struct Refusal {
    const char* command;
    int code;
    int error;
};

// Every refusal comes with a code and an errno that tells the truth.
TEST_F(MciTest, MalformedCommandsAreRefusedWithCodeAndErrno) {
    ASSERT_EQ(send("open two.mp3 type MPEGVideo alias x"), 0);
    const Refusal refusals[] = {
        {"", MCIERR_UNRECOGNIZED_COMMAND, EINVAL},
        {"   ", MCIERR_UNRECOGNIZED_COMMAND, EINVAL},
        {"dance x", MCIERR_UNRECOGNIZED_COMMAND, EINVAL},
        {"play nobody", MCIERR_INVALID_DEVICE_NAME, ENODEV},
        {"status nobody mode", MCIERR_INVALID_DEVICE_NAME, ENODEV},
        {"status nobody length", MCIERR_INVALID_DEVICE_NAME, ENOENT},
        {"close nobody", MCIERR_INVALID_DEVICE_NAME, ENODEV},
        {"open", MCIERR_MISSING_PARAMETER, EINVAL},
        {"open two.mp3 alias", MCIERR_MISSING_PARAMETER, EINVAL},
        {"open two.mp3 type", MCIERR_MISSING_PARAMETER, EINVAL},
        {"open two.mp3 type WaveAudio alias y", MCIERR_INVALID_DEVICE_NAME, ENODEV},
        {"open two.mp3 colour red alias y", MCIERR_UNRECOGNIZED_KEYWORD, EINVAL},
        {"play", MCIERR_MISSING_PARAMETER, EINVAL},
        {"play x from", MCIERR_MISSING_PARAMETER, EINVAL},
        {"play x to 100", MCIERR_UNRECOGNIZED_KEYWORD, EINVAL},
        {"play x from abc", MCIERR_BAD_INTEGER, EINVAL},
        {"play x from 12x", MCIERR_BAD_INTEGER, EINVAL},
        {"play x from 99999999", MCIERR_OUTOFRANGE, ERANGE},
        {"play x from -1", MCIERR_OUTOFRANGE, ERANGE},
        {"play x from 10 20", MCIERR_UNRECOGNIZED_KEYWORD, EINVAL},
        {"status x", MCIERR_MISSING_PARAMETER, EINVAL},
        {"status x colour", MCIERR_UNRECOGNIZED_KEYWORD, EINVAL},
        {"status x mode now", MCIERR_UNRECOGNIZED_KEYWORD, EINVAL},
        {"set x", MCIERR_MISSING_PARAMETER, EINVAL},
        {"set x volume 5", MCIERR_UNRECOGNIZED_KEYWORD, EINVAL},
        {"set x speed", MCIERR_MISSING_PARAMETER, EINVAL},
        {"set x speed fast", MCIERR_BAD_INTEGER, EINVAL},
        {"set x speed 99", MCIERR_OUTOFRANGE, ERANGE},
        {"set x speed 2001", MCIERR_OUTOFRANGE, ERANGE},
        {"set x speed 5", MCIERR_OUTOFRANGE, ERANGE},
        {"setaudio x volume to", MCIERR_MISSING_PARAMETER, EINVAL},
        {"setaudio x treble to 5", MCIERR_UNRECOGNIZED_KEYWORD, EINVAL},
        {"setaudio x volume to 1001", MCIERR_OUTOFRANGE, ERANGE},
        {"pause x now", MCIERR_UNRECOGNIZED_KEYWORD, EINVAL},
        {"close x y", MCIERR_UNRECOGNIZED_KEYWORD, EINVAL},
    };
    for (const Refusal& refusal : refusals) {
        errno = 0;
        EXPECT_EQ(send(refusal.command), refusal.code) << refusal.command;
        EXPECT_EQ(errno, refusal.error) << refusal.command;
    }
    // None of that disturbed the open device.
    EXPECT_EQ(ask("status x mode"), "stopped");
    EXPECT_EQ(ask("status x position"), "0");
}

// Silence at 0, the samples untouched at full, never above full.
TEST(Volume, CubicCurveFromSilenceToFull) {
    EXPECT_EQ(mci::gainOf(0), 0.0f);
    EXPECT_EQ(mci::gainOf(1000), 1.0f);
    EXPECT_FLOAT_EQ(mci::gainOf(500), 0.125f);
    EXPECT_EQ(mci::gainOf(-50), 0.0f);
    EXPECT_EQ(mci::gainOf(5000), 1.0f);
    float frames[] = {0.5f, -1.0f, 0.25f, 0.1f};
    mci::applyVolume(frames, 2, 2, mci::gainOf(1000));
    EXPECT_EQ(frames[1], -1.0f);
    mci::applyVolume(frames, 1, 2, 0.5f);
    EXPECT_EQ(frames[1], -0.5f);
    EXPECT_EQ(frames[2], 0.25f) << "only count frames are scaled";
}

TEST_F(MciTest, SpeedLimitsAreInclusive) {
    ASSERT_EQ(send("open two.mp3 type MPEGVideo alias x"), 0);
    EXPECT_EQ(send("set x speed 100"), 0);
    EXPECT_EQ(send("set x speed 2000"), 0);
    EXPECT_EQ(send("play x from 2001"), MCIERR_OUTOFRANGE);
}

TEST_F(MciTest, OverlongAndNullCommandsAreRefused) {
    const std::string longName(mci::kMaxCommandLength, 'a');
    errno = 0;
    EXPECT_EQ(send("open " + longName + " alias x"), MCIERR_PARAM_OVERFLOW);
    EXPECT_NE(errno, 0);
    // Long, but within the limit: an honest "not found".
    EXPECT_EQ(send("open " + longName.substr(0, 5000) + ".mp3 alias x"), MCIERR_FILE_NOT_FOUND);
    EXPECT_EQ(mciSendString(nullptr, nullptr, 0), MCIERR_UNRECOGNIZED_COMMAND);
}

// A canary after the buffer shows any byte written past replySize.
TEST_F(MciTest, RepliesStayWithinTheirBufferAndAreTerminated) {
    ASSERT_EQ(send("open two.mp3 type MPEGVideo alias x"), 0);
    for (const char* query : {"status x mode", "status x length"}) {
        const std::string full = ask(query);
        for (unsigned size = 1; size <= full.size() + 1; ++size) {
            std::string buffer(size + 8, '#');
            const int code = mciSendString(query, buffer.data(), size);
            EXPECT_EQ(buffer.substr(size), std::string(8, '#')) << query << " size " << size;
            EXPECT_EQ(std::strlen(buffer.c_str()), size - 1 < full.size() ? size - 1 : full.size());
            EXPECT_EQ(code, size > full.size() ? 0 : MCIERR_PARAM_OVERFLOW) << size;
        }
    }
    char untouched = '#';
    EXPECT_EQ(mciSendString("status x mode", &untouched, 0), MCIERR_PARAM_OVERFLOW);
    EXPECT_EQ(untouched, '#');
    EXPECT_EQ(mciSendString("status x mode", nullptr, 128), 0);
}

TEST_F(MciTest, AFailedQueryLeavesAnEmptyReply) {
    std::string reply;
    EXPECT_EQ(send("status nobody position", &reply), MCIERR_INVALID_DEVICE_NAME);
    EXPECT_EQ(reply, "");
}

struct BadFile {
    const char* name;
    int code;
    int error;
};

TEST_F(MciTest, BadFilesAreRefusedAtOpen) {
    const BadFile files[] = {
        {"missing.mp3", MCIERR_FILE_NOT_FOUND, ENOENT}, {"empty.mp3", MCIERR_INVALID_FILE, 0},
        {"text.mp3", MCIERR_INVALID_FILE, 0},           {"noise.mp3", MCIERR_INVALID_FILE, 0},
        {"big-noise.mp3", MCIERR_INVALID_FILE, 0},      {"wave.mp3", MCIERR_INVALID_FILE, 0},
        {"folder.mp3", MCIERR_INVALID_FILE, 0},
    };
    for (const BadFile& file : files) {
        errno = 0;
        EXPECT_EQ(send(std::string("open ") + file.name + " type MPEGVideo alias x"), file.code)
            << file.name;
        // The text after perror's "error:" must be true: never "Success".
        EXPECT_NE(errno, 0) << file.name;
        if (file.error != 0) {
            EXPECT_EQ(errno, file.error) << file.name;
        }
        EXPECT_EQ(send("status x mode"), MCIERR_INVALID_DEVICE_NAME) << file.name;
    }
}

TEST_F(MciTest, UnreadableFileIsRefused) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    std::filesystem::copy_file("two.mp3", "locked.mp3");
    std::filesystem::permissions("locked.mp3", std::filesystem::perms::none);
    errno = 0;
    const int code = send("open locked.mp3 alias x");
    std::filesystem::remove("locked.mp3");
    EXPECT_EQ(code, MCIERR_FILE_READ);
    EXPECT_EQ(errno, EACCES);
}

TEST(ErrorText, EveryCodeIsDescribedWithinTheBuffer) {
    for (const int code :
         {MCIERR_INVALID_DEVICE_ID, MCIERR_UNRECOGNIZED_KEYWORD, MCIERR_UNRECOGNIZED_COMMAND,
          MCIERR_HARDWARE, MCIERR_INVALID_DEVICE_NAME, MCIERR_OUT_OF_MEMORY, MCIERR_BAD_INTEGER,
          MCIERR_MISSING_PARAMETER, MCIERR_FILE_NOT_FOUND, MCIERR_OUTOFRANGE,
          MCIERR_DUPLICATE_ALIAS, MCIERR_NO_CLOSING_QUOTE, MCIERR_INVALID_FILE,
          MCIERR_PARAM_OVERFLOW, MCIERR_FILE_READ}) {
        char text[128] = "";
        EXPECT_TRUE(mciGetErrorString(code, text, sizeof text)) << code;
        EXPECT_GT(std::strlen(text), 10u) << code;
        char small[6] = "#####";
        mciGetErrorString(code, small, 4);
        EXPECT_EQ(std::strlen(small), 3u);
        EXPECT_EQ(small[4], '#');
    }
    char text[128] = "";
    EXPECT_FALSE(mciGetErrorString(12345, text, sizeof text));
    EXPECT_NE(text[0], '\0');
    EXPECT_TRUE(mciGetErrorString(MCIERR_FILE_READ, nullptr, 0));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    mcitest::installFixtures();
    return RUN_ALL_TESTS();
}
