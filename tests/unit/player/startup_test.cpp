#include "player/startup.h"

#include <gtest/gtest.h>

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

TEST_F(StartUp, PathTxtNamesTheFolderAndRecordsTheStartDirectory) {
    auto start = enterNewFolder();
    touch(start / "path.txt", " /music with blanks ");
    settleMusicFolder();
    EXPECT_STREQ(S.dirname, " /music with blanks ");
    EXPECT_EQ(std::string(S.old_path), std::filesystem::current_path().string());
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

TEST_F(StartUp, ALongPathTxtIsReadUpToTheCell) {
    auto start = enterNewFolder();
    touch(start / "path.txt", std::string(200, 'p'));
    settleMusicFolder();
    EXPECT_EQ(std::string(S.dirname), std::string(127, 'p'));
}

TEST_F(StartUp, WithoutPathTxtTheFolderStaysUnknown) {
    enterNewFolder();
    settleMusicFolder();
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
