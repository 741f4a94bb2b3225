// Song lengths at start-up: the full measurement, and the cache files of the
// previous exit matched against the folder of now.
#include "player/lengths.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "player/cache.h"
#include "player/playback.h"
#include "player/screen.h"
#include "player_fixture.h"

namespace {

using Names = std::vector<std::string>;
using Lengths = std::vector<int>;

const std::string kPgDn = "\xe0Q";

class SongLengths : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        enterNewFolder();
    }

    // A catalogue of songs shown by these names, each FILE.mp3 opened as
    // FILE.MP3, and the length the media layer measures for each.
    void makeSongs(const std::vector<std::pair<std::string, int>>& songs) {
        int k = 0;
        for (const auto& [name, seconds] : songs) {
            std::snprintf(S.NextSong[k], kCellSize, "F%d.MP3", k);
            std::snprintf(S.LongFileName[k], kCellSize, "%s.mp3", name.c_str());
            fake::media().fileLengths[S.NextSong[k]] = std::to_string(seconds * 1000 + 999);
            ++k;
        }
        S.TotalSong = k;
        init();
    }

    // The three files as another program writes them by their layout.
    static void recordCache(const Names& names, const Lengths& lengths) {
        unsigned total = 0;
        for (int seconds : lengths) {
            total += static_cast<unsigned>(seconds);
        }
        touch("length.txt", std::to_string(total / 3600 % 24) + " " +
                                std::to_string(total / 60 % 60) + " " + std::to_string(total % 60) +
                                " " + std::to_string(names.size()) + " " + std::to_string(total));
        touch("number.txt", numberFileBytes(lengths));
        touch("names.txt", namesFileBytes(names));
    }

    // The files opened to be measured, in order.
    static Names measured() {
        Names files;
        for (const std::string& command : fake::takeCommands()) {
            if (command.rfind("open ", 0) == 0 &&
                command.find(" alias song") != std::string::npos) {
                files.push_back(command.substr(5, command.find(' ', 5) - 5));
            }
        }
        return files;
    }

    static Lengths lengths() { return Lengths(S.number, S.number + S.TotalSong); }

    // The text from (x, y) to the end of its row, trailing blanks removed.
    std::string textFrom(int x, int y) {
        std::string row = screen().row(y);
        return row.size() >= static_cast<std::size_t>(x) ? row.substr(x - 1) : "";
    }

    std::string totalTime() {
        GetSongLength();
        return textFrom(25, 19);
    }

    // The rows of the missing list, from row 11 down to the last row.
    std::vector<std::string> missingList() {
        std::vector<std::string> rows;
        for (int row = 11; row <= 25; ++row) {
            rows.push_back(textFrom(20, row));
        }
        while (!rows.empty() && rows.back().empty()) {
            rows.pop_back();
        }
        return rows;
    }
};

TEST_F(SongLengths, TheFullMeasurementTakesEachSongByNameAndSumsWholeSeconds) {
    makeSongs({{"X", 215}, {"Y", 200}, {"Z", 185}});
    readCacheFiles();
    EXPECT_EQ(fake::takeCommands(),
              (Names{"open F0.MP3 alias song", "status F0.MP3 length", "close song",
                     "open F1.MP3 alias song", "status F1.MP3 length", "close song",
                     "open F2.MP3 alias song", "status F2.MP3 length", "close song"}));
    EXPECT_EQ(lengths(), (Lengths{215, 200, 185}));
    EXPECT_EQ(S.getlen, 600u);
    EXPECT_EQ(textFrom(25, 10), "Please wait... Load Songs");
    EXPECT_EQ(textFrom(25, 14), "Z");
    EXPECT_EQ(totalTime(), "Total Time -> 00:10:00");
}

TEST_F(SongLengths, ASongThatCannotBeMeasuredCountsZeroNotItsNeighboursLength) {
    makeSongs({{"X", 215}, {"Y", 200}, {"Z", 185}});
    fake::media().fileLengths.erase("F1.MP3");
    GetTotalTimeAllSong();
    EXPECT_EQ(lengths(), (Lengths{215, 0, 185}));
    EXPECT_EQ(S.getlen, 400u);
}

TEST_F(SongLengths, TheTotalShowsEveryHourWhileLengthTxtKeepsHoursBelow24) {
    S.getlen = 3723;
    splitTotalTime();
    EXPECT_EQ(totalTime(), "Total Time -> 01:02:03");
    S.getlen = 333 * 3600 + 20 * 60;
    splitTotalTime();
    EXPECT_EQ(S.h2, 21);
    EXPECT_EQ(totalTime(), "Total Time -> 333:20:00");
    S.getlen = INT_MAX;  // the largest total that length.txt carries
    splitTotalTime();
    redrawMainScreen();
    EXPECT_EQ(textFrom(25, 19), "Total Time -> 596523:14:07 Audio: silent, no device, 100");
}

TEST_F(SongLengths, AKeyDuringTheFullMeasurementEndsTheProgramAndRecordsNothing) {
    makeSongs({{"X", 215}, {"Y", 200}});
    fake::pressKeys("x");
    EXPECT_EXIT(readCacheFiles(), ::testing::ExitedWithCode(1), "");
    EXPECT_FALSE(std::filesystem::exists("length.txt"));
}

TEST_F(SongLengths, UnchangedSongsAreTakenFromTheFilesWithoutAnyScreen) {
    recordCache({"X", "Y", "Z"}, {215, 200, 185});
    makeSongs({{"X", 1}, {"Y", 1}, {"Z", 1}});
    readCacheFiles();
    EXPECT_EQ(measured(), Names{});
    EXPECT_EQ(lengths(), (Lengths{215, 200, 185}));
    EXPECT_EQ(S.getlen, 600u);
    EXPECT_EQ(screen().row(10), "");
}

TEST_F(SongLengths, AnInsertedSongIsMeasuredAndTheOthersKeepTheirOwnLengths) {
    recordCache({"X", "Z"}, {215, 185});
    makeSongs({{"X", 1}, {"Y", 200}, {"Z", 1}});
    readCacheFiles();
    EXPECT_EQ(fake::takeCommands(),
              (Names{"open F1.MP3 alias song", "status song length", "close song"}));
    EXPECT_EQ(lengths(), (Lengths{215, 200, 185}));
    EXPECT_EQ(S.getlen, 600u);
    EXPECT_EQ(textFrom(25, 10), "Please wait... Load New Songs");
    EXPECT_EQ(textFrom(25, 14), "Y");
}

TEST_F(SongLengths, ARemovedSongIsListedAndTakenOffTheTotal) {
    recordCache({"X", "Y", "Z"}, {215, 200, 185});
    makeSongs({{"X", 1}, {"Z", 1}});
    // The wait takes a whole key: nothing of PgDn is left behind.
    fake::pressKeys(kPgDn);
    readCacheFiles();
    EXPECT_EQ(_kbhit(), 0);
    EXPECT_EQ(measured(), Names{});
    EXPECT_EQ(lengths(), (Lengths{215, 185}));
    EXPECT_EQ(S.getlen, 400u);
    EXPECT_EQ(textFrom(20, 10), "some mp3 file(s) missing on your dirictory");
    EXPECT_EQ(missingList(), Names{"Y"});
}

TEST_F(SongLengths, AddedAndRemovedSongsAtOnceCountEachSongOnce) {
    recordCache({"X", "Y", "Z"}, {215, 200, 185});
    makeSongs({{"X", 1}, {"Z", 1}, {"W", 100}, {"V", 50}});
    fake::pressKeys("k");
    readCacheFiles();
    EXPECT_EQ(measured(), (Names{"F2.MP3", "F3.MP3"}));
    EXPECT_EQ(lengths(), (Lengths{215, 185, 100, 50}));
    EXPECT_EQ(S.getlen, 550u);
    EXPECT_EQ(missingList(), Names{"Y"});
}

TEST_F(SongLengths, ASongReplacedUnderTheSameCountIsSeen) {
    recordCache({"X", "Y", "Z"}, {215, 200, 185});
    makeSongs({{"X", 1}, {"Q", 30}, {"Z", 1}});
    fake::pressKeys("k");
    readCacheFiles();
    EXPECT_EQ(measured(), Names{"F1.MP3"});
    EXPECT_EQ(lengths(), (Lengths{215, 30, 185}));
    EXPECT_EQ(missingList(), Names{"Y"});
}

// A display name that several songs show cannot tell which length is whose,
// whether they share it in the folder or in the record.
TEST_F(SongLengths, SongsSharingADisplayNameAreMeasuredAgain) {
    recordCache({"Song", "Song", "z"}, {65, 1, 2});
    makeSongs({{"Song", 1}, {"z", 1}});
    fake::pressKeys("k");
    readCacheFiles();
    EXPECT_EQ(measured(), Names{"F0.MP3"});
    EXPECT_EQ(lengths(), (Lengths{1, 2}));
    EXPECT_EQ(missingList(), Names{"Song"});

    recordCache({"Song", "z"}, {1, 2});
    makeSongs({{"Song", 65}, {"Song", 1}, {"z", 1}});
    readCacheFiles();
    EXPECT_EQ(measured(), (Names{"F0.MP3", "F1.MP3"}));
    EXPECT_EQ(S.getlen, 68u);
}

TEST_F(SongLengths, EveryRemovedSongIsListed) {
    recordCache({"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"}, Lengths(10, 60));
    makeSongs({{"A", 1}, {"F", 1}});
    fake::pressKeys("k");
    readCacheFiles();
    EXPECT_EQ(missingList(), (Names{"B", "C", "D", "E", "G", "H", "I", "J"}));
    EXPECT_EQ(S.getlen, 120u);
}

TEST_F(SongLengths, AMissingListLongerThanTheScreenEndsWithHowManyMore) {
    Names recorded;
    for (int k = 0; k < 21; ++k) {
        recorded.push_back("Song " + std::to_string(10 + k));
    }
    recordCache(recorded, Lengths(21, 60));
    makeSongs({{"Song 10", 1}});
    fake::pressKeys("k");
    readCacheFiles();
    Names rows = missingList();
    ASSERT_EQ(rows.size(), 15u);
    EXPECT_EQ(rows[0], "Song 11");
    EXPECT_EQ(rows[13], "Song 24");
    EXPECT_EQ(rows[14], "... and 6 more");
}

}  // namespace
