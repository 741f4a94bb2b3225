#include "player/startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "player_fixture.h"

namespace {

class StartUp : public PlayerTest {};

TEST_F(StartUp, WorkingDirectoryWithSongsWinsOverPathTxt) {
    auto start = enterNewFolder();
    touch(start / "song.mp3");
    touch(start / "path.txt", "/somewhere/else");
    settleMusicFolder();
    EXPECT_STREQ(S.dirname, "");
    EXPECT_STREQ(S.old_path, "");
}

// The leading blank makes it a relative folder, which is kept by its full
// path, taken from the start directory: the working directory moves on later.
TEST_F(StartUp, PathTxtNamesTheFolderAndRecordsTheStartDirectory) {
    auto start = enterNewFolder();
    touch(start / "path.txt", " /music with blanks ");
    settleMusicFolder();
    EXPECT_EQ(std::string(S.dirname), start.string() + "/ /music with blanks ");
    EXPECT_EQ(std::string(S.old_path), std::filesystem::current_path().string());
    EXPECT_EQ(slurp(start / "path.txt"), " /music with blanks ");
}

TEST_F(StartUp, OneTrailingLineEndOfAHandEditedPathTxtIsDropped) {
    auto start = enterNewFolder();
    touch(start / "path.txt", "/music\r\n");
    settleMusicFolder();
    EXPECT_STREQ(S.dirname, "/music");

    touch(start / "path.txt", "/music\n\n");
    settleMusicFolder();
    EXPECT_STREQ(S.dirname, "/music\n");
}

// Cut short, the path could name another folder: it is refused and kept.
// A path cut short, cut at a zero byte or left relative could name another
// folder than the one recorded.
TEST_F(StartUp, APathTxtThatCannotNameItsFolderIsRefusedAndKept) {
    auto start = enterNewFolder();
    const std::string tooLong = "^mp3: path.txt holds a path longer than 127 bytes";
    const std::string zero = "^mp3: path.txt holds a zero byte";
    const std::pair<std::string, std::string> cases[] = {
        {std::string(128, 'p'), tooLong},
        {std::string(127, 'p') + "x\n", tooLong},
        {std::string(200, 'p'), tooLong},
        {start.string() + std::string("\0/elsewhere", 11), zero},
        {std::string("\0", 1) + start.string(), zero},
        // Its full path does not fit: it would be entered again from inside.
        {std::string(127, 'p') + "\r\n", "^mp3: the folder in path.txt has a full path longer"},
    };
    for (const auto& [content, message] : cases) {
        touch(start / "path.txt", content);
        EXPECT_EXIT(settleMusicFolder(), ::testing::ExitedWithCode(1), message);
        EXPECT_EQ(slurp(start / "path.txt"), content);
    }
}

// A FIFO would hold the start in its read; a folder would be removed by the
// ending for a folder without songs. Neither is read nor removed.
TEST_F(StartUp, APathTxtThatIsNoRegularFileIsLeftAlone) {
    auto start = enterNewFolder();
    ASSERT_EQ(mkfifo((start / "path.txt").c_str(), 0600), 0);
    EXPECT_EXIT(settleMusicFolder(), ::testing::ExitedWithCode(1),
                "^mp3: path.txt is not a regular file");
    std::filesystem::remove(start / "path.txt");
    std::filesystem::create_directory(start / "path.txt");
    EXPECT_EXIT(settleMusicFolder(), ::testing::ExitedWithCode(1),
                "^mp3: path.txt is not a regular file");

    std::snprintf(S.old_path, kCellSize, "%s", start.c_str());
    fake::pressKeys(" ");
    EXPECT_EXIT(GetAllSong(), ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(screen().row(11), std::string(19, ' ') + "Press eny key to continue");
    EXPECT_TRUE(std::filesystem::is_directory(start / "path.txt"));
}

TEST_F(StartUp, WithoutPathTxtTheFolderIsAskedFor) {
    enterNewFolder();
    fake::pressKeys("\x1b");
    settleMusicFolder();
    EXPECT_EQ(screen().row(2), "Enter path to your mp3 song(s):");
    EXPECT_STREQ(S.dirname, "");
    EXPECT_NE(S.old_path[0], 0);
}

TEST_F(StartUp, AStartDirectoryLongerThanItsCellEndsWithAMessage) {
    auto start = enterNewFolder();
    auto deep = start / std::string(60, 'd') / std::string(60, 'e') / std::string(10, 'f');
    std::filesystem::create_directories(deep);
    std::filesystem::current_path(deep);
    EXPECT_EXIT(settleMusicFolder(), ::testing::ExitedWithCode(1), "longer than 127 bytes");
}

TEST_F(StartUp, UserNameIsLookedUp) {
    lookUpUserName();
    EXPECT_NE(S.UserName[0], 0);
    EXPECT_EQ(screen().row(1), "");
}

}  // namespace
