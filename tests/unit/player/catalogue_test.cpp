#include "player/catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "player/pages.h"
#include "player_fixture.h"

namespace {

std::string displayNameOf(const std::string& fileName) {
    char name[kCellSize] = {};
    std::snprintf(name, sizeof name, "%s", fileName.c_str());
    cutDisplayName(name);
    return name;
}

TEST(DisplayName, CutsAtTheFirstPointAndAtFiftyBytes) {
    EXPECT_EQ(displayNameOf("Intro.mp3"), "Intro");
    EXPECT_EQ(displayNameOf("01. Intro.mp3"), "01");
    EXPECT_EQ(displayNameOf(".mp3"), "");
    std::string sixty(60, 'a');
    EXPECT_EQ(displayNameOf(sixty), std::string(50, 'a'));
    EXPECT_EQ(displayNameOf(std::string(45, 'b') + ".x.mp3"), std::string(45, 'b'));
}

TEST(DisplayName, NeverSplitsAUtf8Character) {
    // 49 ASCII bytes and a two-byte letter: the letter would end at byte 51.
    std::string name = std::string(49, 'a') + "\xC3\xA9" + "tude.mp3";
    EXPECT_EQ(displayNameOf(name), std::string(49, 'a'));
    EXPECT_EQ(displayNameOf("Caf\xC3\xA9 del R\xC3\xADo.mp3"), "Caf\xC3\xA9 del R\xC3\xADo");
    // A three-byte character straddling byte 50 goes whole.
    std::string euro = std::string(48, 'e') + "\xE2\x82\xAC" + ".mp3";
    EXPECT_EQ(displayNameOf(euro), std::string(48, 'e'));
}

TEST(Printable, ReplacesControlsAndBrokenUtf8ButKeepsLetters) {
    char name[kCellSize] = "a\x1b[2Jb\x7f\xC2\x9B\xFF\xC3\xA9";
    makePrintable(name);
    EXPECT_STREQ(name, "a?[2Jb????\xC3\xA9");
    // An overlong form of CSI and a surrogate are no characters either.
    char disguised[kCellSize] = "x\xE0\x82\x9By\xED\xA0\x80";
    makePrintable(disguised);
    EXPECT_STREQ(disguised, "x???y???");
}

// A control of text direction would reorder the rest of the playlist row.
TEST(Printable, ReplacesTheControlsOfTextDirection) {
    char name[kCellSize] =
        "a\xE2\x80\xAE"
        "b\xE2\x81\xA6"
        "c\xE2\x81\xA9"
        "d\xE2\x80\x8F"
        "e\xD8\x9C"
        "f\xE2\x80\xA9"
        "g\xE2\x81\xAA";
    makePrintable(name);
    // U+2029 (a paragraph separator) and U+206A are no direction controls.
    EXPECT_STREQ(name, "a???b???c???d???e??f\xE2\x80\xA9g\xE2\x81\xAA");
}

class Pages : public PlayerTest {};

TEST_F(Pages, LastPageIndexFollowsTheSongCount) {
    makeCatalogue(1);
    EXPECT_EQ(S.MAX, 0);
    resetPlayerState();
    makeCatalogue(9);
    EXPECT_EQ(S.MAX, 0);
    EXPECT_STREQ(S.p_List[0][8], "Song 0008");
    EXPECT_EQ(S.p_List[0][9][0], 0);
    resetPlayerState();
    makeCatalogue(10);
    EXPECT_EQ(S.MAX, 1);
    EXPECT_STREQ(S.p_List[1][0], "Song 0009");
    EXPECT_STREQ(S.p_file[1][0], "S0009.MP3");
    EXPECT_EQ(S.p_List[1][1][0], 0);
}

TEST_F(Pages, FiveThousandSongsPageToTheLastPage) {
    makeCatalogue(kMaxSongs);
    EXPECT_EQ(S.MAX, 555);
    EXPECT_STREQ(S.p_List[555][4], "Song 4999");
    EXPECT_STREQ(S.p_file[555][4], "S4999.MP3");
    EXPECT_EQ(S.p_List[555][5][0], 0);
    EXPECT_EQ(S.p_count, 0);
}

TEST_F(Pages, AnEmptyDisplayNameEndsTheWalkOverItsPage) {
    makeCatalogue(3);
    S.LongFileName[1][0] = '.';
    S.p_List[0][1][0] = 0;
    EXPECT_EQ(songsOnPage(0), 1);
}

class Scan : public PlayerTest {
  protected:
    // count files named like songs, all links to one file.
    void fillWithSongs(const std::filesystem::path& folder, int count) {
        touch(folder / "seed.mp3");
        for (int k = 1; k < count; ++k) {
            std::filesystem::create_hard_link(folder / "seed.mp3",
                                              folder / ("song " + std::to_string(k) + ".mp3"));
        }
    }
};

TEST_F(Scan, ListsTheFolderInNameOrderWithoutHiddenFiles) {
    auto folder = enterNewFolder();
    touch(folder / "b song.mp3");
    touch(folder / "A.MP3");
    touch(folder / "c.Mp3");
    touch(folder / ".hidden.mp3");
    touch(folder / "notes.txt");
    std::filesystem::create_directory(folder / "dir.mp3");
    S.num = 5;
    GetAllSong();
    init();
    ASSERT_EQ(S.TotalSong, 3);
    EXPECT_EQ(S.num, 0);
    EXPECT_STREQ(S.p_List[0][0], "A");
    EXPECT_STREQ(S.p_List[0][1], "b song");
    EXPECT_STREQ(S.p_List[0][2], "c");
    EXPECT_STREQ(S.NextSong[0], "A.MP3");
    // A name with a blank is opened through an alias without blanks.
    EXPECT_EQ(std::strchr(S.NextSong[1], ' '), nullptr);
    EXPECT_NE(S.NextSong[1][0], 0);
}

TEST_F(Scan, RestoresTheFirstNineAfterPaging) {
    auto folder = enterNewFolder();
    for (int k = 0; k < 12; ++k) {
        touch(folder / ("t" + std::to_string(10 + k) + ".mp3"));
    }
    GetAllSong();
    init();
    std::memcpy(S.NextSong[0], "OTHER.MP3", 10);
    GetAllSong();
    EXPECT_STREQ(S.NextSong[0], "t10.mp3");
    EXPECT_STREQ(S.LongFileName[11], "t21.mp3");
}

TEST_F(Scan, CutsANameLongerThanItsCellForDisplayOnly) {
    auto folder = enterNewFolder();
    // 132 bytes: 64 two-byte letters and ".mp3"; the 64th letter would end
    // at byte 128.
    std::string name;
    for (int k = 0; k < 64; ++k) {
        name += "\xC3\xA9";
    }
    name += ".mp3";
    touch(folder / name);
    GetAllSong();
    EXPECT_EQ(std::strlen(S.LongFileName[0]), 126u);
    EXPECT_LE(std::strlen(S.NextSong[0]), 79u);
    init();
    EXPECT_EQ(std::strlen(S.p_List[0][0]), 50u);
}

// The scan's endings run in a child process; what it printed is read back
// from the captured output afterwards.
TEST_F(Scan, MoreThanFiveThousandFilesEndWithTheMaximumMessage) {
    fillWithSongs(enterNewFolder(), kMaxSongs + 1);
    fake::pressKeys("k");
    EXPECT_EXIT(GetAllSong(), ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(screen().text(28, 10, 28), "Maximum 5000 mp3 files loads");
}

TEST_F(Scan, FiveThousandFilesLoad) {
    fillWithSongs(enterNewFolder(), kMaxSongs);
    GetAllSong();
    init();
    EXPECT_EQ(S.TotalSong, kMaxSongs);
    EXPECT_EQ(S.MAX, 555);
    EXPECT_NE(S.p_file[555][4][0], 0);
}

TEST_F(Scan, EmptyFolderNamedByPathTxtEndsAndForgetsTheFolder) {
    auto start = enterNewFolder();
    std::filesystem::create_directory(start / "music");
    touch(start / "path.txt", (start / "music").string());
    std::snprintf(S.old_path, kCellSize, "%s", start.c_str());
    std::snprintf(S.dirname, kCellSize, "%s", (start / "music").c_str());
    fake::pressKeys(" ");
    EXPECT_EXIT(GetAllSong(), ::testing::ExitedWithCode(1), "");
    VirtualScreen& s = screen();
    EXPECT_EQ(s.row(10), std::string(19, ' ') + "Sorry no mp3 file(s) on this dirictory");
    EXPECT_EQ(s.row(11), std::string(19, ' ') + "Press eny key to exit");
    EXPECT_FALSE(std::filesystem::exists(start / "path.txt"));
}

TEST_F(Scan, EmptyFolderWithoutPathTxtEndsAndRemovesNothing) {
    auto start = enterNewFolder();
    touch(start / "keep.txt");
    std::snprintf(S.old_path, kCellSize, "%s", start.c_str());
    fake::pressKeys(" ");
    EXPECT_EXIT(GetAllSong(), ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(screen().row(11), std::string(19, ' ') + "Press eny key to continue");
    EXPECT_TRUE(std::filesystem::exists(start / "keep.txt"));
}

}  // namespace
