// Writing the cache files, and the quit sequence that writes them.
#include "player/cache.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "player/lengths.h"
#include "player/pages.h"
#include "player/playback.h"
#include "player/quit.h"
#include "player/screen.h"
#include "player/userstate.h"
#include "player_fixture.h"

namespace {

using Names = std::vector<std::string>;

class CacheFiles : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        folder_ = enterNewFolder();
    }

    // A catalogue of "Song 0000" ... with these lengths and their total.
    void makeSongs(const std::vector<int>& lengths) {
        makeCatalogue(static_cast<int>(lengths.size()));
        S.getlen = 0;
        for (std::size_t k = 0; k < lengths.size(); ++k) {
            S.number[k] = lengths[k];
            S.getlen += static_cast<unsigned>(lengths[k]);
        }
        splitTotalTime();
    }

    static Names songNames(int count) {
        Names names;
        for (int k = 0; k < count; ++k) {
            char name[16];
            std::snprintf(name, sizeof name, "Song %04d", k);
            names.push_back(name);
        }
        return names;
    }

    Names filesInFolder() {
        Names files;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            files.push_back(entry.path().filename().string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    // No file may grow beyond limit bytes: a write past it raises SIGXFSZ,
    // or fails when that signal is ignored.
    static void writeWithFileSizeLimit(rlim_t limit) {
        rlimit size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &size);
        write_data();
    }

    Names cacheContent() { return {slurp("length.txt"), slurp("number.txt"), slurp("names.txt")}; }

    std::filesystem::path folder_;
};

TEST_F(CacheFiles, ThreeSongsAreWrittenInTheLayoutByteForByte) {
    makeSongs({215, 200, 185});
    write_data();
    EXPECT_EQ(slurp("length.txt"), "0 10 0 3 600");
    EXPECT_EQ(slurp("number.txt"), std::string("\xD7\0\0\0\xC8\0\0\0\xB9\0\0\0", 12));
    EXPECT_EQ(slurp("names.txt"), namesFileBytes(songNames(3)));
    EXPECT_EQ(slurp("names.txt").size(), 3072u);
    EXPECT_EQ(S.mm_time, 3);
}

// The names are the session's catalogue, whatever page is shown, and the
// folder is not looked at again: here it holds no song at all.
TEST_F(CacheFiles, FortyFiveSongsAfterPagingAreWrittenFromThePageTables) {
    std::vector<int> lengths(44, 60);
    lengths.push_back(1083);
    makeSongs(lengths);
    p_NextList();
    p_NextList();
    write_data();
    EXPECT_EQ(slurp("length.txt"), "1 2 3 45 3723");
    EXPECT_EQ(slurp("number.txt"), numberFileBytes(lengths));
    EXPECT_EQ(slurp("number.txt").size(), 180u);
    EXPECT_EQ(slurp("names.txt"), namesFileBytes(songNames(45)));
    EXPECT_EQ(slurp("names.txt").size(), 46080u);
}

// Killed at any point of the writing, or failing, the program leaves the
// files of the previous exit whole.
TEST_F(CacheFiles, AnExitWhileWritingLeavesThePreviousFilesWhole) {
    makeSongs({215, 200, 185});
    write_data();
    const Names previous = cacheContent();
    makeSongs(std::vector<int>(45, 60));
    // Files may grow to 100 bytes (number.txt is 180) or to 1000 bytes
    // (names.txt is 46080): the program is killed while writing that file.
    for (rlim_t limit : {100, 1000}) {
        SCOPED_TRACE(limit);
        EXPECT_EXIT(writeWithFileSizeLimit(limit), ::testing::KilledBySignal(SIGXFSZ), "");
        EXPECT_EQ(cacheContent(), previous);
    }
}

TEST_F(CacheFiles, AFileThatCannotBeWrittenIsNamedOnStderrAndEndsWithStatusOne) {
    makeSongs(std::vector<int>(45, 60));
    write_data();
    const Names previous = cacheContent();
    const Names files = filesInFolder();
    makeSongs({215, 200, 185, 100, 100, 100});
    std::signal(SIGXFSZ, SIG_IGN);
    EXPECT_EXIT(writeWithFileSizeLimit(1000), ::testing::ExitedWithCode(1),
                "^mp3: cannot write names.txt: File too large\n$");
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(cacheContent(), previous);
    EXPECT_EQ(filesInFolder(), files);

    // A folder that no longer exists takes no file.
    std::filesystem::create_directory("gone");
    std::filesystem::current_path("gone");
    std::filesystem::remove(folder_ / "gone");
    EXPECT_EXIT(write_data(), ::testing::ExitedWithCode(1),
                "^mp3: cannot create number.txt: No such file or directory\n$");
}

TEST_F(CacheFiles, TheFarewellFollowsTheClosedTrackAndRestsOnRows13And14) {
    makeSongs({215, 200, 185});
    Play();
    fake::takeCommands();
    const unsigned before = fake::sleptMilliseconds();
    showFarewell();
    EXPECT_EQ(fake::takeCommands(), Names{"close MP3_Device"});
    EXPECT_EQ(fake::media().sentAt.back(), before);
    EXPECT_EQ(fake::sleptMilliseconds() - before, 19u * 50);
    VirtualScreen& shown = screen();
    for (int row = 1; row <= 25; ++row) {
        SCOPED_TRACE(row);
        if (row == 13 || row == 14) {
            EXPECT_EQ(shown.text(1, row, 14), std::string(14, ' '));
            EXPECT_NE(shown.text(15, row, 1), " ");
        } else {
            EXPECT_EQ(shown.row(row), "");
        }
    }
}

TEST_F(CacheFiles, QuitWritesTheFilesAndEndsWithStatusOne) {
    makeSongs({215, 200, 185});
    Play();
    drawMainScreen();
    fake::media().position = "5250";
    fake::pressKeys("Q");
    EXPECT_EXIT(runPass(), ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(cacheContent(), (Names{"0 10 0 3 600", numberFileBytes({215, 200, 185}),
                                     namesFileBytes(songNames(3))}));
    // And where the song stood, for the next start.
    static UserState state;
    readUserState(&state);
    const ResumePoint* point = findResumePoint(state, folder_.c_str());
    ASSERT_NE(point, nullptr);
    EXPECT_STREQ(point->name, "Song 0000");
    EXPECT_EQ(point->seconds, 5u);
}

}  // namespace
