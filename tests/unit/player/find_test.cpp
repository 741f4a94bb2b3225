// "F": the find field on row 25, driven by the scripted keyboard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/playback.h"
#include "player/screen.h"
#include "player_fixture.h"

namespace {

using Songs = std::vector<std::string>;

class Find : public PlayerTest {
  protected:
    // 25 songs "Song 00" ...; songs 3, 12 and 19 have names of their own.
    void SetUp() override {
        PlayerTest::SetUp();
        for (int k = 0; k < 25; ++k) {
            std::snprintf(S.NextSong[k], kCellSize, "S%04d.MP3", k);
            std::snprintf(S.LongFileName[k], kCellSize, "Song %02d.mp3", k);
        }
        copyCell(S.LongFileName[3],
                 "\xc3\x9c"
                 "ber Blue.mp3");  // "Über Blue"
        copyCell(S.LongFileName[12],
                 "\xc3\xbc"
                 "ber red.mp3");  // "über red"
        copyCell(S.LongFileName[19], "Blue Moon.mp3");
        S.TotalSong = 25;
        init();
        Play();
        drawMainScreen();
        fake::takeCommands();
    }

    void press(const std::string& keys) {
        fake::pressKeys(keys);
        while (_kbhit()) {
            runPass();
        }
    }

    std::string field() { return screen().row(25); }
    std::string pageNumber() { return screen().text(50, 4, 4); }
};

TEST_F(Find, LettersNarrowTabGoesRoundAndNothingChangesUntilEnter) {
    press("F\xc3\xbc");  // "ü" finds "Über Blue" first, letter case ignored
    EXPECT_EQ(field(), "Find: \xc3\xbc   (1 of 2)");
    EXPECT_EQ(pageNumber(), "[1] ");
    EXPECT_EQ(screen().attr(25, 8), 11);  // its row marked
    press("\t");
    EXPECT_EQ(pageNumber(), "[2] ");
    EXPECT_EQ(screen().text(25, 8, 11),
              "4. \xc3\xbc"
              "ber red");
    EXPECT_EQ(screen().attr(25, 8), 11);
    press("\t");
    EXPECT_EQ(field(), "Find: \xc3\xbc   (1 of 2)");
    EXPECT_EQ(pageNumber(), "[1] ");
    press("\b\bblue m");  // Backspace takes the whole letter
    EXPECT_EQ(field(), "Find: blue m   (1 of 1)");
    EXPECT_EQ(pageNumber(), "[3] ");
    press("x");
    EXPECT_EQ(field(), "Find: blue mx   no match");
    EXPECT_EQ(pageNumber(), "[3] ");
    press("\r");  // nothing to play
    // The song that played plays on, the page played from is the same.
    EXPECT_TRUE(fake::takeActions().empty());
    EXPECT_EQ(S.p_count, 0);
    EXPECT_EQ(S.num, 0);
    press("\b\r");
    EXPECT_EQ(fake::openedSongs(fake::takeCommands()), Songs{"S0019.MP3"});
    EXPECT_EQ(field(), "");
    EXPECT_EQ(S.p_count, 2);
    EXPECT_EQ(S.num, 1);
    // The advance goes on from the page of the song found.
    fake::media().mode = "stopped";
    runPass();
    EXPECT_EQ(fake::openedSongs(fake::takeCommands()), Songs{"S0020.MP3"});
}

TEST_F(Find, EscShowsThePageShownBeforeAndChangesNothing) {
    press("=");
    const std::string before = screen().dump();
    press("fmoon");
    EXPECT_EQ(pageNumber(), "[3] ");
    press("\x1b");
    EXPECT_EQ(screen().dump(), before);
    EXPECT_EQ(S.p_count, 1);
    EXPECT_TRUE(fake::takeActions().empty());
    press("M");  // the main screen has the keys again
    EXPECT_EQ(fake::openedSongs(fake::takeCommands()), Songs{"S0010.MP3"});
}

}  // namespace
