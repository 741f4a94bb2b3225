// Typed input: the line input field, the music-folder prompt, the speed and
// position dialogs, and the Load command of the main screen.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "player/dialogs.h"
#include "player/folder.h"
#include "player/playback.h"
#include "player/screen.h"
#include "player/title.h"
#include "player_fixture.h"
#include "tcconio/input.h"

namespace {

namespace fs = std::filesystem;
using Commands = std::vector<std::string>;

const std::string kEsc = "\x1b";
const std::string kRight = "\xe0M";
const std::string kF1 = std::string("\0;", 2);

int count(const std::string& text, const std::string& part) {
    int found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

// Text printed at (x, y) right after the cursor was placed there.
std::string at(int x, int y, const std::string& text) {
    return "\x1b[" + std::to_string(y) + ";" + std::to_string(x) + "H" + text;
}

// The line input field, in the blocking form unless a test says otherwise.
class Field : public PlayerTest {
  protected:
    FieldOutcome type(const std::string& keys, int maxLength = 100, bool ignoreSpace = false) {
        fake::pressKeys(keys);
        return InputField(FieldLayout{"Title", "Prompt: ", 9, maxLength, ignoreSpace}, &typed_);
    }
    std::string text() const { return std::string(typed_.text, typed_.count); }
    std::string echo() { return screen().row(2).substr(8); }

    FieldText typed_{};
};

TEST_F(Field, EnterAndBackspaceOnAnEmptyFieldDoNothing) {
    EXPECT_EQ(type("\r\b\babc\b\r"), FieldOutcome::Accepted);
    EXPECT_EQ(text(), "ab");
    std::string output = takeOutput();
    EXPECT_EQ(count(output, "\x1b[2J"), 2) << "the opening and one Backspace clear the screen";
    EXPECT_EQ(echo(), "ab");
}

TEST_F(Field, ATerminalOfAnotherSizeGetsTheFieldDrawnAnew) {
    conioPretendResize();
    type("ab\r");
    EXPECT_EQ(count(takeOutput(), "\x1b[2J"), 2);
    EXPECT_EQ(echo(), "ab");
}

TEST_F(Field, ALeadingSpaceIsDroppedOnlyWhereTheLayoutSaysSo) {
    type(" x y\r", 100, true);
    EXPECT_EQ(text(), "x y");
    type(" x\r", 3, false);
    EXPECT_EQ(text(), " x");
}

TEST_F(Field, KeysPastTheLimitAreDroppedUnechoed) {
    type(std::string(100, 'a') + "b\r");
    EXPECT_EQ(text(), std::string(100, 'a'));
    VirtualScreen& s = screen();
    EXPECT_EQ(s.row(2), "Prompt: " + std::string(72, 'a'));
    EXPECT_EQ(s.row(3), std::string(28, 'a')) << "the terminal wraps the echo";
    type("1234\r", 3);
    EXPECT_EQ(text(), "123");
    EXPECT_EQ(echo(), "123");
}

TEST_F(Field, TabIsIgnoredAndAnExtendedKeyIsStoredAsTwoBytes) {
    type("\t" + kRight + "\r");
    EXPECT_EQ(text(), "\xe0M");
    EXPECT_EQ(echo(), "?M");
}

TEST_F(Field, TheEchoSendsNoControlByteAndGoesOnPastAnFKeysPrefix) {
    type(kF1 + "5\x01\xC2\x9B" + "7\r");
    EXPECT_EQ(typed_.count, 7);
    std::string output = takeOutput();
    for (char control : {'\0', '\x01', '\x9B'}) {
        EXPECT_EQ(output.find(control), std::string::npos) << static_cast<int>(control);
    }
    EXPECT_EQ(echo(), "?;5??7");
    type(
        "\xE2\x80\xAE"
        "a\r");  // a control of text direction would reorder the row
    EXPECT_EQ(echo(), "?a");
}

TEST_F(Field, BackspaceTakesAWholeCharacterWhileTheLimitCountsBytes) {
    type("a\xC3\xA9\xE2\x82\xAC\b\r");
    EXPECT_EQ(text(), "a\xC3\xA9");
    type("a\xC3\xA9\b\bz\r");
    EXPECT_EQ(text(), "z");
    // Three bytes hold one two-byte letter and the first byte of the next,
    // which can never be completed.
    type("\xC3\xA9\xC3\xA9\r", 3);
    EXPECT_EQ(text(), "\xC3\xA9\xC3");
    EXPECT_EQ(echo(), "\xC3\xA9?");
}

TEST_F(Field, TheBannerEndsTheLastRowWithinSeventyNineColumns) {
    type(kEsc);
    EXPECT_EQ(screen().row(25), "Title  Press Esc to exit.");
    fake::pressKeys(kEsc);
    const std::string longTitle(100, 't');
    InputField(FieldLayout{longTitle.c_str(), "P: ", 4, 3, false}, &typed_);
    std::string banner = screen().row(25);
    EXPECT_EQ(banner.size(), 79u);
    EXPECT_EQ(banner.substr(61), "Press Esc to exit.");
}

int passes;

TEST_F(Field, ThePollingFormWaitsForAKeyAsLongAsItsStepAllows) {
    passes = 0;
    auto fivePasses = [] { return ++passes <= 5 ? 40 : -1; };
    EXPECT_EQ(InputField(FieldLayout{"T", "P: ", 4, 3, false}, &typed_, fivePasses),
              FieldOutcome::Ended);
    EXPECT_EQ(passes, 6);
    EXPECT_EQ(fake::sleptMilliseconds(), 5u * 40u);

    // A key that waits is taken in the same pass, without a wait.
    passes = 0;
    fake::pressKeys("7\r");
    auto always = [] { return ++passes * 1000; };
    EXPECT_EQ(InputField(FieldLayout{"T", "P: ", 4, 3, false}, &typed_, always),
              FieldOutcome::Accepted);
    EXPECT_EQ(passes, 2);
    EXPECT_EQ(fake::sleptMilliseconds(), 5u * 40u);
}

// The music-folder prompt.
class FolderPrompt : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        start_ = enterNewFolder();
        copyCell(S.old_path, start_.c_str());
        fs::create_directory(start_ / "music");
    }

    std::string pathTxt(const fs::path& folder) { return slurp(folder / "path.txt"); }

    fs::path start_;
};

TEST_F(FolderPrompt, EscLeavesEverythingAsItWas) {
    copyCell(S.dirname, "/before");
    fake::pressKeys("music" + kEsc);
    EXPECT_EQ(enter_path(), -1);
    EXPECT_STREQ(S.dirname, "/before");
    EXPECT_FALSE(fs::exists(start_ / "path.txt"));
    EXPECT_EQ(fs::current_path(), start_);
    VirtualScreen& s = screen();
    EXPECT_EQ(s.row(2), "Enter path to your mp3 song(s): music");
    EXPECT_EQ(s.text(33, 2, 5), "music");
}

TEST_F(FolderPrompt, ARejectedFolderThenAnAcceptedOne) {
    const std::string music = (start_ / "music").string();
    // The message's key is an arrow: both its codes are taken, so none of
    // them lands in the next field.
    fake::pressKeys("nowhere\r" + kRight + music + "\r");
    EXPECT_EQ(enter_path(), 0);
    EXPECT_NE(takeOutput().find(at(33, 15, "Path is not valid!")), std::string::npos);
    EXPECT_EQ(pathTxt(start_), music);
    EXPECT_EQ(std::string(S.dirname), music);
    EXPECT_EQ(fs::current_path(), start_);
}

TEST_F(FolderPrompt, ARejectedFolderThenEscKeepsTheFolderBefore) {
    touch(start_ / "path.txt", "before");
    copyCell(S.dirname, "/before");
    fake::pressKeys("nowhere\rk" + kEsc);
    EXPECT_EQ(enter_path(), -1);
    EXPECT_STREQ(S.dirname, "/before");
    EXPECT_EQ(pathTxt(start_), "before");
}

TEST_F(FolderPrompt, ARelativeFolderIsRecordedAsTypedAndKeptByItsFullPath) {
    fake::pressKeys("music\r");
    EXPECT_EQ(enter_path(), 0);
    EXPECT_EQ(pathTxt(start_), "music");
    EXPECT_EQ(std::string(S.dirname), (start_ / "music").string());
}

TEST_F(FolderPrompt, WithoutAStartDirectoryTheFileGoesIntoTheAcceptedFolder) {
    S.old_path[0] = 0;
    fake::pressKeys("music\r");
    EXPECT_EQ(enter_path(), 0);
    EXPECT_EQ(fs::current_path(), start_ / "music");
    EXPECT_EQ(pathTxt(start_ / "music"), "music");
    EXPECT_FALSE(fs::exists(start_ / "path.txt"));
}

TEST_F(FolderPrompt, AHundredCharacterPathGivesAHundredByteFile) {
    const std::string prefix = start_.string() + "/";
    const fs::path deep = prefix + std::string(100 - prefix.size(), 'd');
    fs::create_directory(deep);
    fake::pressKeys(deep.string() + "\r");
    EXPECT_EQ(enter_path(), 0);
    EXPECT_EQ(pathTxt(start_), deep.string());
    EXPECT_EQ(fs::file_size(start_ / "path.txt"), 100u);
}

TEST_F(FolderPrompt, AnFKeyInThePathIsNotValid) {
    // Taken up to the F-key's 0, the text would name the start directory.
    fake::pressKeys(start_.string() + kF1 + "\rk" + kEsc);
    EXPECT_EQ(enter_path(), -1);
    EXPECT_NE(takeOutput().find("Path is not valid!"), std::string::npos);
}

TEST_F(FolderPrompt, ARelativeFolderWhoseFullPathDoesNotFitIsRefused) {
    fs::path deep = start_ / std::string(60, 'd') / std::string(40, 'e');
    fs::create_directories(deep / "music");
    fs::current_path(deep);
    fake::pressKeys("music\rk" + kEsc);
    EXPECT_EQ(enter_path(), -1);
    EXPECT_NE(takeOutput().find(at(33, 15, "Path is too long!")), std::string::npos);
    EXPECT_EQ(fs::current_path(), deep);
}

TEST_F(FolderPrompt, AFolderFileThatCannotBeCreatedEndsTheProgram) {
    fs::create_directory(start_ / "path.txt");
    fake::pressKeys("music\r");
    EXPECT_EXIT(enter_path(), ::testing::ExitedWithCode(1), "path.txt is not a regular file");
}

// The speed and position dialogs, on a playing song of a folder of 20.
class Dialogs : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        makeCatalogue(20);
        Play();
        drawMainScreen();
        fake::takeCommands();
    }

    // The commands sent, the track's status queries left out.
    Commands sent() {
        Commands out;
        for (const std::string& command : fake::takeCommands()) {
            if (command.rfind("status MP3_Device", 0) != 0) {
                out.push_back(command);
            }
        }
        return out;
    }

    Commands speed(const std::string& keys) {
        fake::pressKeys(keys);
        Speed();
        EXPECT_EQ(S.stop_flash, 0);
        return sent();
    }

    Commands position(const std::string& keys) {
        fake::pressKeys(keys);
        Position();
        EXPECT_EQ(S.stop_flash, 0);
        return sent();
    }

    // Passes of the command loop for the keys; the result of the last.
    PassResult press(const std::string& keys) {
        fake::pressKeys(keys);
        PassResult result = PassResult::NextPass;
        while (_kbhit()) {
            result = runPass();
        }
        return result;
    }
};

TEST_F(Dialogs, SpeedIsTypedInPercentOfTheNormalSpeed) {
    EXPECT_EQ(speed("150\r"), Commands{"set MP3_Device speed  1500"});
    EXPECT_EQ(speed("50\r"), Commands{"set MP3_Device speed  500"});
    EXPECT_EQ(speed("5\rk" + kEsc), Commands{"set MP3_Device speed  5"});  // the engine refuses it
    EXPECT_EQ(speed("200\r"), Commands{"set MP3_Device speed  2000"});
    EXPECT_EQ(speed("201\rk" + kEsc), Commands{});
    EXPECT_NE(takeOutput().find(at(20, 10, "Speed is large,maximum change of speed = 200")),
              std::string::npos);
}

TEST_F(Dialogs, PositionIsTypedInSecondsUpToTheSongsLength) {
    fake::media().length = "30999";
    EXPECT_EQ(position("12\r"), Commands{"play MP3_Device from 12000"});
    EXPECT_EQ(position("7\r"), Commands{"play MP3_Device from 7"});
    EXPECT_EQ(position("30\r"), Commands{"play MP3_Device from 30000"});
    EXPECT_EQ(position("31\rk" + kEsc), Commands{});
    EXPECT_NE(takeOutput().find(at(20, 10, "Length is large,maximum change of length = 30")),
              std::string::npos);
}

// The recorded length may be that of another file that had the same name.
TEST_F(Dialogs, ThePositionLimitIsTheLengthOfTheTrackThatPlays) {
    S.number[0] = 3;
    fake::media().length = "65000";
    EXPECT_EQ(position("30\r"), Commands{"play MP3_Device from 30000"});
}

TEST_F(Dialogs, ABadValueGetsAMessageAndAFreshField) {
    fake::media().outOfRange = {"set MP3_Device speed  5", "play MP3_Device from 12000"};
    fake::media().length = "100000";
    struct Case {
        bool isSpeed;
        std::string keys;
        std::string message;
    };
    const std::string speedNumber = "Speed must be a whole number, 100 is normal speed";
    const std::string positionNumber = "Position must be a whole number of seconds";
    for (const Case& bad : {
             Case{true, "ab", speedNumber},
             Case{true, "1x", speedNumber},
             Case{true, kRight, speedNumber},
             Case{true, " 50", speedNumber},
             Case{true, "5", "This speed cannot be played, 100 is normal speed"},
             Case{false, "1" + kF1, positionNumber},
             Case{false, "12", "The song cannot be played from this position"},
         }) {
        SCOPED_TRACE(bad.keys);
        // The message's key is an arrow, taken whole; then the fresh field
        // takes a good value.
        const std::string keys = bad.keys + "\r" + kRight + "99\r";
        Commands commands = bad.isSpeed ? speed(keys) : position(keys);
        EXPECT_EQ(commands.back(),
                  bad.isSpeed ? "set MP3_Device speed  990" : "play MP3_Device from 99000");
        std::string output = takeOutput();
        EXPECT_NE(output.find(at(20, 10, bad.message)), std::string::npos);
        EXPECT_EQ(count(output, bad.isSpeed ? "Change speed: " : "Enter value for position: "), 2);
    }
}

TEST_F(Dialogs, AFailingCommandStillEndsTheProgram) {
    fake::media().failing = {"set", "play"};
    fake::pressKeys("150\r");
    EXPECT_EXIT(Speed(), ::testing::ExitedWithCode(1), "error: ");
    fake::resetKeyboard();
    fake::pressKeys("1\r");
    EXPECT_EXIT(Position(), ::testing::ExitedWithCode(1), "Error: ");
}

TEST_F(Dialogs, TheScreensShareTheBannerAndTheRowDoesNotFlash) {
    speed("1" + kEsc);
    VirtualScreen& s = screen();
    EXPECT_EQ(s.row(2), "Change speed: 1");
    EXPECT_EQ(s.text(15, 2, 1), "1");
    EXPECT_EQ(s.row(5), "") << "the playing row flashed on the dialog's screen";
    const std::string banner = s.row(25);
    EXPECT_EQ(banner, std::string(kProductTitle) + "  Press Esc to exit.");

    position("2" + kEsc);
    EXPECT_EQ(screen().row(2), "Enter value for position: 2");
    EXPECT_EQ(screen().text(27, 2, 1), "2");
    EXPECT_EQ(screen().row(25), banner);

    fake::pressKeys(kEsc);
    enter_path();
    EXPECT_EQ(screen().row(25), banner);
}

TEST_F(Dialogs, EscAndTheEndOfTheTrackCloseTheDialogWithoutSending) {
    EXPECT_EQ(press("X12" + kEsc), PassResult::ReturnToMainScreen);
    EXPECT_EQ(sent(), Commands{});
    fake::media().mode = "stopped";
    EXPECT_EQ(position(""), Commands{});
}

// The dialog waits for keys in long stretches while the track is far from
// its end, and still closes within 50 ms of it, at any speed up to double.
TEST_F(Dialogs, TheEndOfTheTrackClosesTheDialogPromptlyWithoutConstantQueries) {
    fake::media().length = "30000";
    fake::media().endsAt = fake::sleptMilliseconds() + 15000;
    EXPECT_EQ(position(""), Commands{});
    EXPECT_GE(fake::sleptMilliseconds(), 15000u);
    EXPECT_LE(fake::sleptMilliseconds(), 15050u);
    int queries = 0;
    for (const std::string& command : fake::media().commands) {
        queries += command == "status MP3_Device mode" ? 1 : 0;
    }
    EXPECT_LT(queries, 100) << "15 s polled every 50 ms would be 300";
}

TEST_F(Dialogs, ADialogOpenedAfterStopClosesAtOnceAndTheNextSongFollows) {
    press("s");
    fake::media().mode = "stopped";
    EXPECT_EQ(press("x"), PassResult::ReturnToMainScreen);
    runPass();
    EXPECT_EQ(fake::openedSongs(fake::takeCommands()), Commands{"S0001.MP3"});
}

// The Load command, from a folder of twelve songs to other folders beside it.
class Load : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        start_ = enterNewFolder();
        copyCell(S.old_path, start_.c_str());
        fillFolder("old", 12);
        copyCell(S.dirname, (start_ / "old").c_str());
        GetAllSong();
        init();
        Play();
        drawMainScreen();
        fake::takeCommands();
    }

    // Songs named after the folder: new1.mp3, new2.mp3 ...
    void fillFolder(const std::string& name, int songs) {
        const fs::path folder = start_ / name;
        fs::create_directories(folder);
        for (int k = 1; k <= songs; ++k) {
            touch(folder / (folder.filename().string() + std::to_string(k) + ".mp3"));
        }
    }

    // Loads a folder as the command loop does, and draws the main screen anew.
    void load(const std::string& keys) {
        EXPECT_EQ(press(keys), PassResult::ReturnToMainScreen);
        drawMainScreen();
    }

    std::string pathTxt() { return slurp(start_ / "path.txt"); }

    PassResult press(const std::string& keys) {
        fake::pressKeys(keys);
        PassResult result = PassResult::NextPass;
        while (_kbhit()) {
            result = runPass();
        }
        return result;
    }

    Commands opened() { return fake::openedSongs(fake::takeCommands()); }

    fs::path start_;
};

TEST_F(Load, AnotherFolderIsScannedPagedAndPlayedFromItsFirstSong) {
    fillFolder("new", 2);
    load("lnew\r");
    Commands commands = fake::takeActions();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(Commands(commands.end() - 3, commands.end()),
              (Commands{"close MP3_Device", "open new1.mp3 type MPEGVideo alias MP3_Device",
                        "play MP3_Device notify"}))
        << "the old song plays until the new folder is ready";
    EXPECT_EQ(S.TotalSong, 2);
    EXPECT_STREQ(S.p_List[0][1], "new2");
    EXPECT_EQ(S.p_List[1][0][0], 0);
    EXPECT_EQ(pathTxt(), "new");
    EXPECT_EQ(screen().row(20), " TotalSong = 2");
}

TEST_F(Load, EscKeepsTheOldSongPlaying) {
    load("L" + kEsc);
    EXPECT_EQ(opened(), Commands{});
    EXPECT_EQ(S.TotalSong, 12);
    EXPECT_EQ(std::string(S.dirname), (start_ / "old").string());
    EXPECT_EQ(fake::media().openAliases.count("MP3_Device"), 1u);
}

TEST_F(Load, TheNewFolderStartsCleanAfterTheDigitNine) {
    fillFolder("new", 3);
    press("9");
    ASSERT_EQ(S.a_uto, 1);
    load("lnew\r");
    opened();
    fake::media().mode = "stopped";
    runPass();
    EXPECT_EQ(opened(), Commands{"new2.mp3"});
}

TEST_F(Load, ARelativeFolderIsEnteredOnceEvenWithASubfolderOfTheSameName) {
    fillFolder("music", 2);
    fillFolder("music/music", 1);
    load("lmusic\r");
    EXPECT_EQ(pathTxt(), "music");
    EXPECT_EQ(opened(), Commands{"music1.mp3"});
    fake::media().mode = "stopped";
    runPass();
    EXPECT_EQ(opened(), Commands{"music2.mp3"});
    EXPECT_EQ(fs::current_path(), start_ / "music");
}

TEST_F(Load, AFolderWithoutSongsEndsWithTheScansMessage) {
    fs::create_directory(start_ / "empty");
    fake::pressKeys("lempty\rk");
    EXPECT_EXIT(runPass(), ::testing::ExitedWithCode(1), "");
    EXPECT_NE(takeOutput().find(at(20, 10, "Sorry no mp3 file(s) on this dirictory")),
              std::string::npos);
    EXPECT_FALSE(fs::exists(start_ / "path.txt")) << "the scan forgets a folder without songs";
}

}  // namespace
