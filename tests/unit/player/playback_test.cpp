#include "player/playback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/screen.h"
#include "player_fixture.h"

namespace {

using Commands = std::vector<std::string>;

// The pause holds the command loop until W.
void pauseUntilResumed() {
    Pause();
    while (S.keysAt == KeysAt::Paused) {
        runPass();
    }
}

class Playback : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        makeCatalogue(12);
    }

    std::string endTimeFor(const std::string& lengthMs) {
        fake::media().length = lengthMs;
        GetSongLength();
        return screen().row(18).substr(24);
    }
};

TEST_F(Playback, PlayOpensTheSlotOfThePageShownByItsShortName) {
    S.num = 2;
    Play();
    EXPECT_EQ(fake::takeActions(), (Commands{"open S0002.MP3 type MPEGVideo alias MP3_Device",
                                             "play MP3_Device notify"}));
    EXPECT_STREQ(S.Label, "Song 0002");
    CloseSong();
    EXPECT_EQ(fake::takeCommands(), Commands{"close MP3_Device"});
}

TEST_F(Playback, AnEmptySlotTakesTheFirstNameOfTheWindowAsLabel) {
    S.p_count = 1;
    S.num = 5;
    std::snprintf(S.NextSong[5], kCellSize, "S0005.MP3");
    Play();
    EXPECT_STREQ(S.Label, "Song 0000");
}

// From one hour on both times of the song show hours, so that a 62-minute
// song does not end at "02:00"; a shorter song after it leaves no remnant.
TEST_F(Playback, TimeFieldsShowMinutesAndSecondsOrHoursFromOneHourOn) {
    S.trackOpen = 1;
    fake::media().openAliases.insert("MP3_Device");
    EXPECT_EQ(endTimeFor("59000"), "End Time = 00:59");
    EXPECT_EQ(endTimeFor("60999"), "End Time = 01:00");
    EXPECT_EQ(endTimeFor("3599999"), "End Time = 59:59");
    EXPECT_EQ(endTimeFor("3600000"), "End Time = 1:00:00");
    fake::media().position = "125000";
    EXPECT_EQ(endTimeFor("3720000"), "End Time = 1:02:00");
    EXPECT_EQ(screen().text(25, 20, 22), "Current Time = 0:02:05");
    EXPECT_EQ(endTimeFor("36000000"), "End Time = 10:00:00");
    fake::media().position = "0";
    EXPECT_EQ(endTimeFor("garbage"), "End Time = 00:00");
    fake::media().position = "125000";
    S.getlen = 3723;
    S.m2 = 2;
    S.s2 = 3;
    GetSongLength();
    VirtualScreen& s = screen();
    EXPECT_EQ(s.row(20), std::string(24, ' ') + "Current Time = 02:05");
    EXPECT_EQ(s.row(19), std::string(24, ' ') + "Total Time -> 01:02:03");
    EXPECT_EQ(s.attr(25, 19), 7);
}

TEST_F(Playback, ThePlayingRowFlashesYellowOnlyOnItsOwnPage) {
    drawMainScreen();
    S.num = 1;
    Play();
    StatSong();
    EXPECT_EQ(S.isPlay, 1);
    EXPECT_EQ(S.m_normal_text, 1);
    VirtualScreen& s = screen();
    EXPECT_EQ(s.text(25, 6, 12), "2. Song 0001");
    EXPECT_EQ(s.attr(25, 6), 14);
    EXPECT_EQ(fake::sleptMilliseconds(), 300u);

    S.stop_flash = 1;
    StatSong();
    EXPECT_EQ(fake::sleptMilliseconds(), 300u);
    S.stop_flash = 0;
    // The window now holds another page's names: the row is not on screen.
    std::snprintf(S.LongFileName[1], kCellSize, "Song 0010");
    StatSong();
    EXPECT_EQ(fake::sleptMilliseconds(), 300u);
}

TEST_F(Playback, AStoppedTrackIsNotTakenForAnEndedOne) {
    Play();
    Stop();
    fake::media().mode = "stopped";
    StatSong();
    EXPECT_EQ(S.isPlay, 1);
    S.Control = 0;
    StatSong();
    EXPECT_EQ(S.isPlay, 0);
}

// The page shown has no song in the playing slot: nothing flashes, but the
// end of the track is noticed all the same.
TEST_F(Playback, AnEmptySlotOfThePageShownStillNoticesTheEnd) {
    Play();
    S.p_count = 1;
    S.num = 4;
    S.isPlay = 1;
    StatSong();
    EXPECT_EQ(S.m_null, 1);
    EXPECT_EQ(S.isPlay, 1);
    EXPECT_EQ(fake::sleptMilliseconds(), 0u);
    fake::media().mode = "stopped";
    StatSong();
    EXPECT_EQ(S.isPlay, 0);
}

TEST_F(Playback, PauseWaitsForWOnly) {
    Play();
    fake::takeCommands();
    fake::pressKeys("axqW");
    pauseUntilResumed();
    EXPECT_EQ(fake::takeActions(), (Commands{"pause MP3_Device", "resume MP3_Device"}));
    EXPECT_EQ(_kbhit(), 0);
    EXPECT_EQ(screen().row(23), " Playing -> Song 0000");
}

// The title and the playlist come back when the terminal's size changes
// during the pause, and the pause goes on.
TEST_F(Playback, AResizeWhilePausedDrawsTheMainScreenAnew) {
    Play();
    fake::takeCommands();
    conioPretendResize();
    fake::pressKeys("xW");
    pauseUntilResumed();
    EXPECT_EQ(fake::takeCommands(), (Commands{"pause MP3_Device", "status MP3_Device position",
                                              "status MP3_Device length",
                                              "status MP3_Device position", "resume MP3_Device"}));
    VirtualScreen& s = screen();
    EXPECT_EQ(s.text(18, 1, 10), "Folderplay");
    EXPECT_EQ(s.text(25, 5, 12), "1. Song 0000");
    EXPECT_EQ(s.text(25, 18, 16), "End Time = 00:01");
    EXPECT_EQ(s.row(23), " Playing -> Song 0000");
}

TEST_F(Playback, ASongThatCannotBeOpenedIsReportedAndCountsAsEnded) {
    fake::media().refusedFiles.insert("S0000.MP3");
    Play();
    EXPECT_EQ(S.trackOpen, 0);
    EXPECT_EQ(screen().row(24), " Cannot play -> Song 0000");
    EXPECT_EQ(screen().attr(2, 24), 12);
    EXPECT_EQ(screen().row(23), "");  // not "Playing", until the next song plays
    fake::takeCommands();
    StatSong();
    GetSongLength();
    Stop();
    Pause();
    CloseSong();
    EXPECT_EQ(fake::takeCommands(), Commands{});
    StatSong();
    EXPECT_EQ(S.isPlay, 1);
    S.Control = 0;
    StatSong();
    EXPECT_EQ(S.isPlay, 0);
}

TEST_F(Playback, AnyOtherFailingCommandEndsTheProgramWithATrueError) {
    Play();
    for (const char* command : {"status", "stop", "pause", "close"}) {
        SCOPED_TRACE(command);
        fake::media().failing = {command};
        fake::pressKeys("w");
        auto fail = [&] {
            StatSong();
            Stop();
            Pause();
            CloseSong();
        };
        EXPECT_EXIT(fail(), ::testing::ExitedWithCode(1), "^error: Input/output error\n$");
    }
}

}  // namespace
