#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "player/playback.h"
#include "player/screen.h"
#include "player_fixture.h"

namespace {

using Songs = std::vector<std::string>;

const std::string kPgDn = "\xe0Q";
const std::string kDown = "\xe0P";
const std::string kDelete = "\xe0S";
const std::string kRight = "\xe0M";
const std::string kF3 = std::string("\0=", 2);
const std::string kF9 = std::string("\0C", 2);

class CommandLoop : public PlayerTest {
  protected:
    void start(int songs) {
        makeCatalogue(songs);
        Play();
        drawMainScreen();
        fake::takeCommands();
    }

    // One pass of the loop for each key, as when keys wait in the buffer.
    void press(const std::string& keys) {
        fake::pressKeys(keys);
        while (_kbhit()) {
            runPass();
        }
    }

    // The track runs to its end; the songs that the next pass opens.
    Songs endTrack() {
        fake::media().mode = "stopped";
        runPass();
        fake::media().mode = "playing";
        return opened();
    }

    Songs opened() { return fake::openedSongs(fake::takeCommands()); }

    std::string pageNumber() { return screen().text(50, 4, 4); }
};

TEST_F(CommandLoop, AfterTheLastSongPageZeroPlaysFromItsFirstSlot) {
    start(20);
    press("==2");
    EXPECT_EQ(opened(), Songs{"S0019.MP3"});
    EXPECT_EQ(endTrack(), Songs{"S0000.MP3"});
    EXPECT_EQ(S.p_count, 0);
    EXPECT_EQ(S.num, 0);
    EXPECT_EQ(pageNumber(), "[1] ");
    EXPECT_EQ(screen().text(25, 5, 12), "1. Song 0000");
    EXPECT_EQ(screen().text(25, 13, 12), "9. Song 0008");
}

TEST_F(CommandLoop, FullLastPagesWrapWithoutAnEmptyPageBetween) {
    for (int songs : {9, 18, 27}) {
        SCOPED_TRACE(songs);
        resetPlayerState();
        fake::resetMedia();
        start(songs);
        // Played through: the last slot of the last page ends.
        for (int page = 0; page < S.MAX; ++page) {
            press("=");
        }
        press("8");
        opened();
        Songs last{"S" + std::string(songs < 10 ? "000" : "00") + std::to_string(songs - 1) +
                   ".MP3"};
        EXPECT_EQ(endTrack(), last);
        EXPECT_EQ(endTrack(), Songs{"S0000.MP3"});
        EXPECT_EQ(S.p_count, 0);
        EXPECT_EQ(pageNumber().substr(0, 3), "[1]");
        // Chosen by its digit 9, which also asks for a page turn at its end.
        for (int page = 0; page < S.MAX; ++page) {
            press("=");
        }
        press("9");
        opened();
        EXPECT_EQ(endTrack(), Songs{"S0000.MP3"});
        EXPECT_EQ(S.p_count, 0);
        EXPECT_EQ(S.a_uto, 0);
        EXPECT_EQ(endTrack(), Songs{"S0001.MP3"});
    }
}

TEST_F(CommandLoop, APlayedThroughPageTurnsToTheNext) {
    start(20);
    press("8");
    EXPECT_EQ(opened(), Songs{"S0007.MP3"});
    EXPECT_EQ(endTrack(), Songs{"S0008.MP3"});
    EXPECT_EQ(endTrack(), Songs{"S0009.MP3"});
    EXPECT_EQ(S.p_count, 1);
    EXPECT_EQ(pageNumber().substr(0, 3), "[2]");
    EXPECT_EQ(screen().text(25, 5, 12), "1. Song 0009");
}

TEST_F(CommandLoop, NoWrapWhenTheUserPagedBack) {
    start(20);
    press("==2--");
    opened();
    EXPECT_EQ(endTrack(), Songs{"S0002.MP3"});
    EXPECT_EQ(S.p_count, 0);
}

// Song 7 plays while page 2, of three songs, is shown: its end is noticed
// and the player goes on as after the last song of that page.
TEST_F(CommandLoop, ASongWhoseSlotThePageShownLacksStillEndsAndPlayGoesOn) {
    for (const char* keys : {"7=", "9="}) {
        SCOPED_TRACE(keys);
        resetPlayerState();
        fake::resetMedia();
        start(12);
        press(keys);
        opened();
        EXPECT_EQ(endTrack(), Songs{"S0000.MP3"});
        EXPECT_EQ(S.p_count, 0);
        EXPECT_EQ(S.a_uto, 0);
        runPass();
        EXPECT_EQ(screen().row(23), " Playing -> Song 0000");
    }
}

// In the same state, a key plays only a song of the page shown, and the status
// line names the song that plays: Left the page's last song, Right and P its
// first; after "9" the song so started plays on without turning the page.
TEST_F(CommandLoop, OnAPageWithoutThePlayingSlotKeysPlaySongsOfThatPage) {
    const struct {
        std::string keys;
        std::string file;
        std::string name;
    } cases[] = {
        {"7=K", "S0011.MP3", "Song 0011"}, {"7=M", "S0009.MP3", "Song 0009"},
        {"7=P", "S0009.MP3", "Song 0009"}, {"4=K", "S0011.MP3", "Song 0011"},
        {"9=p", "S0009.MP3", "Song 0009"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        resetPlayerState();
        fake::resetMedia();
        start(12);
        press(c.keys.substr(0, 2));
        opened();
        press(c.keys.substr(2));
        EXPECT_EQ(opened(), Songs{c.file});
        EXPECT_EQ(S.Label, c.name);
        runPass();
        EXPECT_EQ(screen().row(23), " Playing -> " + c.name);
        EXPECT_EQ(endTrack(), Songs{c.file == "S0011.MP3" ? "S0000.MP3" : "S0010.MP3"});
    }
}

TEST_F(CommandLoop, AFarTurnAfterTheDigitNineNeverLeavesThePagesWithSongs) {
    start(20);
    press("9KKKKKKKK==");
    EXPECT_EQ(S.a_uto, 1);
    EXPECT_EQ(S.p_count, 2);
    opened();
    EXPECT_EQ(endTrack(), Songs{"S0000.MP3"});
    EXPECT_EQ(S.p_count, 0);
    EXPECT_EQ(endTrack(), Songs{"S0001.MP3"});
}

TEST_F(CommandLoop, NextAndPreviousSongKeys) {
    start(20);
    press("==2M");
    EXPECT_EQ(opened(), (Songs{"S0019.MP3", "S0018.MP3"}));
    EXPECT_EQ(S.p_count, 2);
    press("KK");
    EXPECT_EQ(opened(), (Songs{"S0018.MP3", "S0018.MP3"}));
    press("--9M");
    EXPECT_EQ(opened(), (Songs{"S0008.MP3", "S0009.MP3"}));
    EXPECT_EQ(S.p_count, 1);
    press("mk");
    EXPECT_EQ(opened(), Songs{});
}

TEST_F(CommandLoop, DigitsBeyondTheSongsOfTheLastPageAreIgnored) {
    start(5);
    press("06789");
    EXPECT_EQ(opened(), Songs{});
    press("5");
    EXPECT_EQ(opened(), Songs{"S0004.MP3"});
}

TEST_F(CommandLoop, StopHoldsTheSongUntilTheNextKey) {
    start(5);
    press("s");
    fake::media().mode = "stopped";
    runPass();
    runPass();
    EXPECT_EQ(opened(), Songs{});
    EXPECT_EQ(screen().row(23), " Stoped -> Song 0000");
    EXPECT_EQ(screen().attr(2, 23), 7);
    press("?");
    fake::media().mode = "stopped";
    runPass();
    EXPECT_EQ(opened(), Songs{"S0001.MP3"});
}

TEST_F(CommandLoop, PagingChangesTheShownPageOnly) {
    start(20);
    press("=");
    EXPECT_TRUE(fake::takeActions().empty());  // queries only
    EXPECT_EQ(S.p_count, 1);
    EXPECT_STREQ(S.Label, "Song 0000");
    EXPECT_STREQ(S.NextSong[0], "S0009.MP3");
    press("+");
    EXPECT_EQ(S.p_count, 2);
    EXPECT_EQ(pageNumber().substr(0, 3), "[3]");
}

TEST_F(CommandLoop, TheEndsOfThePlaylistDoNotMove) {
    start(11);
    press("-");
    EXPECT_EQ(S.p_count, 0);
    press("==");
    EXPECT_EQ(S.p_count, 1);
    VirtualScreen& s = screen();
    EXPECT_EQ(s.text(25, 5, 12), "1. Song 0009");
    EXPECT_EQ(s.text(25, 6, 12), "2. Song 0010");
    for (int row = 7; row <= 13; ++row) {
        EXPECT_EQ(s.text(25, row, 20), std::string(20, ' ')) << row;
    }
}

TEST_F(CommandLoop, AShorterPageNumberIsPrintedOverALongerOne) {
    start(90);
    press(std::string(9, '='));
    EXPECT_EQ(pageNumber(), "[10]");
    press("-");
    EXPECT_EQ(pageNumber(), "[9]]");
}

TEST_F(CommandLoop, OnlyTheArrowsActAfterAnExtendedKeyPrefix) {
    start(20);
    press(kPgDn + kDown + kDelete + kF3 + kF9);
    EXPECT_EQ(S.p_count, 0);
    EXPECT_EQ(S.Control, 0);
    EXPECT_EQ(opened(), Songs{});
    press(kRight);
    EXPECT_STREQ(S.Label, "Song 0001");
}

// A resize or a return from Ctrl+Z draws the screen anew between the two
// codes of a key: the second is still not taken as a letter.
TEST_F(CommandLoop, AnExtendedKeyStaysWholeAcrossARedraw) {
    start(20);
    for (const std::string& key : {kDown, kDelete, kF3}) {
        SCOPED_TRACE(static_cast<int>(key[1]));
        fake::pressKeys(key);
        runPass();
        drawMainScreen();
        runPass();
        EXPECT_EQ(S.p_count, 0);
        EXPECT_EQ(S.Control, 0);
        EXPECT_EQ(opened(), Songs{});
    }
}

TEST_F(CommandLoop, StatusLineIsGreenWhilePlaying) {
    start(5);
    runPass();
    VirtualScreen& s = screen();
    EXPECT_EQ(s.row(23), " Playing -> Song 0000");
    EXPECT_EQ(s.attr(2, 23), 10);
    EXPECT_EQ(s.text(50, 19, 31), "Audio: silent, no device, 100% ");
    EXPECT_EQ(s.row(21), " User Name:");
}

// "G" turns ReplayGain off -> track -> album -> auto -> off: the open track
// takes each mode at once, a song opened later at its open; the notice line
// shows the mode and the gain of the track in place of the output's name.
TEST_F(CommandLoop, GTurnsTheGainModeAndTheNoticeShowsIt) {
    using Commands = std::vector<std::string>;
    start(5);
    fake::media().gain = "+6.0 dB (peak)";
    press("g");
    EXPECT_EQ(fake::takeActions(), Commands{"setaudio MP3_Device replaygain to track"});
    EXPECT_EQ(screen().text(50, 19, 31), "Vol 100%, track +6.0 dB (peak) ");
    press("G" + kRight);
    EXPECT_EQ(fake::takeActions(),
              (Commands{"setaudio MP3_Device replaygain to album", "close MP3_Device",
                        "open S0001.MP3 type MPEGVideo alias MP3_Device",
                        "setaudio MP3_Device replaygain to album", "play MP3_Device notify"}));
    press("g");  // auto: the album gain while the songs play in folder order
    EXPECT_EQ(fake::takeActions(), Commands{"setaudio MP3_Device replaygain to album"});
    EXPECT_EQ(screen().text(50, 19, 31), "Vol 100%, auto +6.0 dB (peak)  ");
    press("z" + kRight);  // shuffled: auto takes the track gain from the next song
    const Commands shuffled = fake::takeActions();
    EXPECT_EQ(shuffled.end()[-2], "setaudio MP3_Device replaygain to track");
    press("g" + kRight);  // off: nothing is sent at the next open
    const Commands off = fake::takeActions();
    EXPECT_EQ(off.front(), "setaudio MP3_Device replaygain to off");
    EXPECT_EQ(off.size(), 4u) << "close, open, play";
    EXPECT_EQ(screen().text(50, 19, 31), "Audio: silent, no device, 100% ");
}

// The end of a track played with notify ends the wait it falls in, and the
// rest of that pass's waits, as a key does: the next song opens at once.
TEST_F(CommandLoop, ATracksEndEndsTheWaitsAndTheNextSongOpensAtOnce) {
    start(3);
    const unsigned end = fake::sleptMilliseconds() + 875;  // in a flash's first wait
    fake::media().endsAt = end;
    const std::vector<std::string>& sent = fake::media().commands;
    const auto next = [&sent] {
        return std::find(sent.begin(), sent.end(),
                         "open S0001.MP3 type MPEGVideo alias MP3_Device");
    };
    for (int pass = 0; pass < 10 && next() == sent.end(); ++pass) {
        runPass();
    }
    ASSERT_NE(next(), sent.end());
    EXPECT_EQ(fake::media().sentAt[static_cast<std::size_t>(next() - sent.begin())], end);
}

TEST_F(CommandLoop, ABrokenSongIsSkipped) {
    fake::media().refusedFiles.insert("S0001.MP3");
    start(5);
    EXPECT_EQ(endTrack(), Songs{"S0001.MP3"});
    runPass();
    EXPECT_EQ(opened(), Songs{"S0002.MP3"});
    EXPECT_EQ(screen().row(24), " Cannot play -> Song 0001");
    EXPECT_EQ(fake::media().openAliases.count("MP3_Device"), 1u);
    // Nor can a song without audio, which would end as it starts: a folder
    // of them is tried once an idle pass, not over and over without a pause.
    fake::media().length = "0";
    fake::media().mode = "stopped";
    const unsigned before = fake::sleptMilliseconds();
    for (int pass = 0; pass < 10; ++pass) {
        runPass();
    }
    EXPECT_EQ(fake::media().openAliases.count("MP3_Device"), 0u);
    EXPECT_GE(fake::sleptMilliseconds() - before, 10 * kIdleMilliseconds);
}

// The next song plays meanwhile, named on the status line, so its row
// flashes: passes take longer than an idle 100 ms, and the notice below
// still lasts about two seconds.
TEST_F(CommandLoop, CannotPlayLastsTwoSecondsWhateverThePassesTake) {
    fake::media().refusedFiles.insert("S0001.MP3");
    start(5);
    endTrack();
    const unsigned shown = fake::sleptMilliseconds();
    runPass();
    int passes = 0;
    for (; fake::sleptMilliseconds() - shown < 2000; ++passes) {
        ASSERT_EQ(screen().row(24), " Cannot play -> Song 0001")
            << "after " << fake::sleptMilliseconds() - shown << " ms";
        ASSERT_EQ(screen().row(23), " Playing -> Song 0002");
        runPass();
    }
    EXPECT_LT(passes, 10) << "the playing row's flash makes passes longer";
    EXPECT_EQ(screen().row(24), "");
}

TEST_F(CommandLoop, StopIsShownEvenWhileCannotPlayIs) {
    fake::media().refusedFiles.insert("S0001.MP3");
    start(5);
    endTrack();
    runPass();
    press("s");
    runPass();
    EXPECT_EQ(screen().row(23), " Stoped -> Song 0002");
}

TEST_F(CommandLoop, AFolderWhereNothingPlaysKeepsTakingKeysWithoutSpinning) {
    for (int k = 0; k < 3; ++k) {
        fake::media().refusedFiles.insert("S000" + std::to_string(k) + ".MP3");
    }
    start(3);
    for (int pass = 0; pass < 30; ++pass) {
        runPass();
    }
    EXPECT_GE(fake::sleptMilliseconds(), 30u * 100u);
    press("3");
    EXPECT_EQ(opened().back(), "S0002.MP3");
}

// The shuffle plays the whole folder in a random order, each song once per
// round, every song on its page with its row flashing; a digit counts as
// played, Left goes back to the song played before and Right on again.
TEST_F(CommandLoop, ShufflePlaysEachSongOncePerRoundFromItsPage) {
    start(20);
    press("z5");
    EXPECT_EQ(screen().text(25, 16, 8), "Shuffle ");
    Songs played{"S0000.MP3", "S0004.MP3"};
    opened();
    for (int k = 0; k < 18; ++k) {
        const Songs next = endTrack();
        ASSERT_EQ(next.size(), 1u);
        played.push_back(next[0]);
        const int song = std::stoi(next[0].substr(1, 4));
        runPass();
        EXPECT_EQ(pageNumber().substr(0, 3), "[" + std::to_string(song / 9 + 1) + "]");
        EXPECT_EQ(screen().text(28, 5 + song % 9, 9), "Song " + next[0].substr(1, 4));
        EXPECT_EQ(screen().attr(28, 5 + song % 9), 14) << "the playing row flashes";
        EXPECT_EQ(screen().text(25, 13, 3), song / 9 == 2 ? "   " : "9. ") << "page 3 has 2";
    }
    Songs sorted = played;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
    press("KM");
    EXPECT_EQ(opened(), (Songs{played[18], played[19]}));
    const Songs nextRound = endTrack();
    ASSERT_EQ(nextRound.size(), 1u);
    EXPECT_NE(nextRound[0], played[19]);
}

// T steps through song, off and folder. Off stops after the folder's last
// song, in the shuffle's order when it is on, as S does: the next key goes on.
TEST_F(CommandLoop, RepeatSongAndRepeatOff) {
    start(20);
    press("t");
    EXPECT_EQ(screen().text(25, 16, 12), "Repeat song ");
    press("==");
    EXPECT_EQ(endTrack(), Songs{"S0000.MP3"});
    EXPECT_EQ(pageNumber().substr(0, 3), "[1]");
    press("==2t");
    EXPECT_EQ(screen().text(25, 16, 11), "Repeat off ");
    opened();
    EXPECT_EQ(endTrack(), Songs{});
    fake::media().mode = "stopped";
    runPass();
    EXPECT_EQ(screen().row(23), " Stoped -> Song 0019");
    press("?");
    EXPECT_EQ(endTrack(), Songs{"S0000.MP3"});
    press("z");
    EXPECT_EQ(screen().text(25, 16, 20), "Shuffle, Repeat off ");
    for (int k = 0; k < 19; ++k) {
        ASSERT_EQ(endTrack().size(), 1u) << k;
    }
    EXPECT_EQ(endTrack(), Songs{});
    press("t");
    EXPECT_EQ(screen().text(25, 16, 20), "Shuffle             ");
}

// A quick run of seek keys is one jump from where the song is heard; back
// past the start is the start, on past the end the end. The pause and a
// stopped song take none.
TEST_F(CommandLoop, SeekKeysAddUpAndStayWithinTheSong) {
    fake::media().length = "40000";
    fake::media().position = "10000";
    start(5);
    const auto jumpAfterRun = [this](const std::string& keys) {
        press(keys);
        runPass();
        runPass();
        return fake::takeActions();
    };
    using Commands = std::vector<std::string>;
    EXPECT_EQ(jumpAfterRun("..."), Commands{"play MP3_Device from 25000"});
    EXPECT_EQ(jumpAfterRun(".>,"), Commands{"play MP3_Device from 40000"});
    EXPECT_EQ(jumpAfterRun(",<"), Commands{"play MP3_Device from 0"});
    EXPECT_EQ(jumpAfterRun("w.w"), (Commands{"pause MP3_Device", "resume MP3_Device"}));
    EXPECT_EQ(jumpAfterRun(".s"), (Commands{"play MP3_Device from 15000", "stop MP3_Device"}));
    EXPECT_EQ(jumpAfterRun(">"),  // the key goes on as after S
              (Commands{"close MP3_Device", "open S0001.MP3 type MPEGVideo alias MP3_Device",
                        "play MP3_Device notify"}));
}

// "F": the find field on row 25. Songs 3, 12 and 19 get names of their own.
class Find : public CommandLoop {
  protected:
    void SetUp() override {
        CommandLoop::SetUp();
        start(25);
        copyCell(S.p_List[0][3],
                 "\xc3\x9c"
                 "ber Blue");  // "Über Blue"
        copyCell(S.p_List[1][3],
                 "\xc3\xbc"
                 "ber red");
        copyCell(S.p_List[2][1], "Blue Moon");
    }
    std::string field() { return screen().row(25); }
};

TEST_F(Find, LettersNarrowTabGoesRoundAndOnlyEnterPlays) {
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
    press("\b\bblue m");  // Backspace takes the whole letter
    EXPECT_EQ(field(), "Find: blue m   (1 of 1)");
    EXPECT_EQ(pageNumber(), "[3] ");
    press("x\r");  // no match: nothing to play
    EXPECT_EQ(field(), "Find: blue mx   no match");
    EXPECT_EQ(pageNumber(), "[3] ");
    // The song plays on; the page played from is the same.
    EXPECT_TRUE(fake::takeActions().empty());
    EXPECT_EQ(S.p_count, 0);
    press("\b\r");
    EXPECT_EQ(opened(), Songs{"S0019.MP3"});
    EXPECT_EQ(field(), "");
    EXPECT_EQ(S.p_count, 2);
    EXPECT_EQ(endTrack(), Songs{"S0020.MP3"});  // on from the page of the song found
}

TEST_F(Find, EscShowsThePageShownBeforeAndChangesNothing) {
    press("=");
    const std::string before = screen().dump();
    press("fmoon\x1b");
    EXPECT_EQ(screen().dump(), before);
    EXPECT_EQ(S.p_count, 1);
    EXPECT_TRUE(fake::takeActions().empty());
    press("M");  // the main screen has the keys again
    EXPECT_EQ(opened(), Songs{"S0010.MP3"});
}

}  // namespace
