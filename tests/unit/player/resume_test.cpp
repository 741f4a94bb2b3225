// The user's state file, the volume keys, and taking up the last run's song.
#include "player/resume.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/playback.h"
#include "player/screen.h"
#include "player/userstate.h"
#include "player_fixture.h"

namespace {

using Commands = std::vector<std::string>;

Commands actions() {
    return fake::takeActions();
}

// Too large for the stack.
UserState written;
UserState read;

using UserStateFile = PlayerTest;

TEST_F(UserStateFile, ReadsWhatItWroteAndIgnoresWhatIsNotItsOwn) {
    clearUserState(&written);
    written.volume = 700;
    written.repeatMode = kRepeatOff;
    written.gainMode = kGainAlbum;
    putResumePoint(&written, "/music/a", "Song A", 65);
    putResumePoint(&written, "/music/b\nc", "Song B", 7);
    putResumePoint(&written, "/music/a", "Song C", 3661);  // a's again, now the most recent
    ASSERT_TRUE(writeUserState(written));
    const std::string bytes = slurp(stateHome_->path() / "folderplay" / "state");
    EXPECT_EQ(bytes,
              "folderplay state 2\nvolume 700\nshuffle 0\nrepeat off\nnotices 0\ngain album\n"
              "resume 3661 8 6\n/music/a\nSong C\n"
              "resume 7 10 6\n/music/b\nc\nSong B\n");
    readUserState(&read);
    EXPECT_EQ(read.volume, 700);
    EXPECT_EQ(read.repeatMode, kRepeatOff);
    EXPECT_EQ(read.gainMode, kGainAlbum);
    ASSERT_EQ(read.count, 2);
    EXPECT_STREQ(findResumePoint(read, "/music/b\nc")->name, "Song B");

    // The version before, without the modes; a mode's line may be missing.
    const std::string older = "folderplay state 1\nvolume 700\nresume 7 2 1\n/a\nS\n";
    EXPECT_TRUE(parseUserState(older.data(), older.size(), &read));
    EXPECT_EQ(read.repeatMode, kRepeatFolder);
    const std::string some = "folderplay state 2\nvolume 7\nshuffle 1\ngain auto\n";
    EXPECT_TRUE(parseUserState(some.data(), some.size(), &read));
    EXPECT_EQ(read.shuffle + read.gainMode, 1 + kGainAuto);

    const std::string damaged[] = {
        "folderplay state 3\nvolume 700\n",  // a newer version
        "folderplay state 2\nvolume 700\nrepeat all\n",
        "folderplay state 2\nvolume 700\ngain off\nshuffle 1\n",  // out of order
        "folderplay state 1\nvolume 700\nshuffle 1\n",
        "folderplay state 1\nvolume 1001\n",
        "folderplay state 1\nvolume 700\nresume 7 10 6\n/music/b\n",
        "folderplay state 1\nvolume 700\nresume 7 10 99\n/music/b\nc\nSong B\n",
        "folderplay state 1\nvolume 700\nresume 7 8 6\nmusic/a\nSong A\n",
        std::string("folderplay state 1\nvolume 7\nresume 7 2 3\n/a\nS\0g\n", 48),
        "\x7f"
        "ELF\x02\x01\x01\xff\xfe garbage",
    };
    for (const std::string& text : damaged) {
        read.count = 5;
        EXPECT_FALSE(parseUserState(text.data(), text.size(), &read)) << text;
        EXPECT_EQ(read.count, 0);
        EXPECT_EQ(read.volume, 1000);
    }
    // A link in the file's place stays, and what it leads to is replaced.
    const auto file = stateHome_->path() / "folderplay" / "state";
    std::filesystem::rename(file, stateHome_->path() / "kept");
    std::filesystem::create_symlink("../kept", file);
    ASSERT_TRUE(writeUserState(written));
    EXPECT_TRUE(std::filesystem::is_symlink(file));
    EXPECT_EQ(slurp(stateHome_->path() / "kept"), bytes);
    std::filesystem::remove(stateHome_->path() / "folderplay" / "state");
    read.count = 5;
    readUserState(&read);
    EXPECT_EQ(read.count, 0);
    setenv("XDG_STATE_HOME", "/dev/null/state", 1);  // a folder that cannot be made
    EXPECT_FALSE(writeUserState(written));

    // The most recent 100 folders keep their point.
    for (int f = 0; f <= kResumeFolders; ++f) {
        putResumePoint(&written, ("/f" + std::to_string(f)).c_str(), "S", 1);
    }
    EXPECT_EQ(written.count, kResumeFolders);
    EXPECT_EQ(findResumePoint(written, "/f0"), nullptr);
    EXPECT_STREQ(written.points[0].folder, "/f100");
}

class Resume : public PlayerTest {
  protected:
    // The last run stood at 0:05 of "Song 0012" in this folder of 20 songs
    // of a minute, whose lengths the cache files gave.
    void SetUp() override {
        PlayerTest::SetUp();
        enterNewFolder();
        makeCatalogue(20);
        S.mm_time = 20;
        for (int k = 0; k < 20; ++k) {
            S.number[k] = 60;
            fake::media().fileLengths[S.NextSong[k]] = "60000";
        }
        fake::media().length = "60000";
        clearUserState(&written);
        written.volume = 700;
        putResumePoint(&written, std::filesystem::current_path().c_str(), "Song 0012", 5);
        ASSERT_TRUE(writeUserState(written));
    }
};

TEST_F(Resume, VolumeKeysAndRPlayTheRecordedSongFromItsPosition) {
    takeUpUserState();
    Play();
    drawMainScreen();
    EXPECT_EQ(actions(), (Commands{"open S0000.MP3 type MPEGVideo alias MP3_Device",
                                   "setaudio MP3_Device volume to 700", "play MP3_Device notify"}));
    EXPECT_EQ(screen().row(22), std::string(24, ' ') + "R = resume Song 0012 at 00:05");

    fake::pressKeys("//*R");
    while (_kbhit()) {
        runPass();
    }
    EXPECT_EQ(actions(),
              (Commands{"setaudio MP3_Device volume to 650", "setaudio MP3_Device volume to 600",
                        "setaudio MP3_Device volume to 650", "close MP3_Device",
                        "open S0012.MP3 type MPEGVideo alias MP3_Device",
                        "setaudio MP3_Device volume to 650", "play MP3_Device from 5000 notify"}));
    EXPECT_EQ(screen().text(25, 8, 12), "4. Song 0012");
    EXPECT_EQ(screen().row(22), "");
    runPass();
    EXPECT_EQ(screen().text(50, 19, 30), "Audio: silent, no device, 65% ");
    // A stop records the song and the volume at once.
    fake::media().position = "7000";
    fake::pressKeys("s");
    runPass();
    readUserState(&read);
    EXPECT_EQ(read.volume, 650);
    EXPECT_STREQ(read.points[0].name, "Song 0012");
    EXPECT_EQ(read.points[0].seconds, 7u);
}

// What another player wrote meanwhile stays: its volume, its folder's point.
// Song changes and the position are written at most every 9 s of playing.
TEST_F(Resume, WrittenEveryNineSecondsMergedIntoWhatTheFileHoldsNow) {
    takeUpUserState();
    Play();
    written.volume = 900;
    putResumePoint(&written, "/elsewhere", "Song X", 42);
    ASSERT_TRUE(writeUserState(written));
    const std::string before = slurp(stateHome_->path() / "folderplay" / "state");
    fake::media().position = "8000";
    for (int song = 1; fake::sleptMilliseconds() < 8000; ++song) {
        runPass();
        CloseSong();
        S.num = song % kSlotsPerPage;
        Play();
    }
    EXPECT_EQ(slurp(stateHome_->path() / "folderplay" / "state"), before);
    fake::media().position = "9000";
    while (fake::sleptMilliseconds() < 9000) {
        runPass();
    }
    readUserState(&read);
    EXPECT_EQ(read.volume, 900);
    EXPECT_EQ(findResumePoint(read, "/elsewhere")->seconds, 42u);
    EXPECT_EQ(read.points[0].seconds, 9u);
}

TEST_F(Resume, NoOfferAfterANewMeasurementOrForASongGoneOrShorter) {
    struct Case {
        int recorded;  // songs the cache files knew; 0 when measured anew
        int length;    // of the song recorded
        const char* name;
        const char* measured = "60000";  // the file's length now
    } cases[] = {{0, 60, "Song 0012"},
                 {20, 5, "Song 0012"},
                 {20, 60, "Song 0099"},
                 {20, 60, "Song 0012", "3000"}};  // replaced by a shorter file
    for (const Case& c : cases) {
        S.mm_time = c.recorded;
        S.number[12] = c.length;
        fake::media().fileLengths["S0012.MP3"] = c.measured;
        putResumePoint(&written, std::filesystem::current_path().c_str(), c.name, 5);
        ASSERT_TRUE(writeUserState(written));
        takeUpUserState();
        EXPECT_EQ(S.resumeOffered, 0) << c.recorded << " " << c.length << " " << c.name;
    }
}

// Z and T are kept for the next run, which names them on row 16 from its
// first screen and plays by them.
TEST_F(Resume, TheModesAreKeptForTheNextRun) {
    takeUpUserState();
    Play();
    drawMainScreen();
    fake::pressKeys("ztts");
    while (_kbhit()) {
        runPass();
    }
    readUserState(&read);
    EXPECT_EQ(read.shuffle, 1);
    EXPECT_EQ(read.repeatMode, kRepeatOff);
    resetPlayerState();
    makeCatalogue(20);
    takeUpUserState();
    Play();
    drawMainScreen();
    EXPECT_EQ(screen().text(25, 16, 20), "Shuffle, Repeat off ");
}

}  // namespace
