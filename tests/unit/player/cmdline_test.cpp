#include "player/cmdline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/playback.h"
#include "player/startup.h"
#include "player_fixture.h"

namespace {

using Action = CommandAction;

TEST(CommandLine, ArgumentListsAndWhatTheyAskFor) {
    const std::string longName = "--" + std::string(300, 'n');
    struct Case {
        std::vector<const char*> args;
        Action action;
        const char* targetOrError;
    };
    const Case cases[] = {
        {{}, Action::Play, nullptr},
        {{"Music"}, Action::Play, "Music"},
        {{"-"}, Action::Play, "-"},
        {{"--", "-h"}, Action::Play, "-h"},
        {{"-h"}, Action::Help, nullptr},
        {{"a", "b", "--help"}, Action::Help, nullptr},
        {{"--he"}, Action::Help, nullptr},
        {{"-hx"}, Action::Help, nullptr},
        {{"--version", "-x"}, Action::Version, nullptr},
        {{"--v"}, Action::Version, nullptr},
        {{"-x", "--help"}, Action::UsageError, "invalid option -- 'x'"},
        {{"--verbose"}, Action::UsageError, "unrecognized option '--verbose'"},
        {{"--vers=2"}, Action::UsageError, "option '--version' doesn't allow an argument"},
        {{"a", "b"}, Action::UsageError, "extra operand 'b'"},
        {{"--", "a", "--"}, Action::UsageError, "extra operand '--'"},
        {{"--\x1b[2J"}, Action::UsageError, "unrecognized option '--?[2J'"},
        {{longName.c_str()}, Action::UsageError, nullptr},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"mp3"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.push_back(nullptr);
        const CommandLine line = parseCommandLine(static_cast<int>(argv.size()) - 1, argv.data());
        const std::string what = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(line.action, c.action) << what;
        if (c.action == Action::Play) {
            EXPECT_STREQ(line.target, c.targetOrError) << what;
        } else if (c.targetOrError != nullptr) {
            EXPECT_STREQ(line.error, c.targetOrError) << what;
        }
    }
    // Cut to its room, the long option's line still names it and ends.
    const CommandLine cut =
        parseCommandLine(2, std::vector<const char*>{"mp3", longName.c_str()}.data());
    EXPECT_EQ(std::string(cut.error).rfind("unrecognized option '--nnn", 0), 0u);
    EXPECT_LT(std::string(cut.error).size(), sizeof cut.error);
    // and never in the middle of a letter.
    std::string letters = "--a";
    for (int k = 0; k < 100; ++k) {
        letters += "\xc3\xa9";
    }
    const CommandLine accented =
        parseCommandLine(2, std::vector<const char*>{"mp3", letters.c_str()}.data());
    EXPECT_EQ(std::string(accented.error).find('?'), std::string::npos) << accented.error;
}

class CommandLineStart : public PlayerTest {};

// FOLDER is played as if the player were started in it, its path.txt left
// alone; SONG plays its folder with the page that holds it shown.
TEST_F(CommandLineStart, AFolderOrASongOfTheCommandLineIsPlayed) {
    auto start = enterNewFolder();
    std::filesystem::create_directories(start / "music");
    std::filesystem::create_directories(start / "empty");
    for (int k = 1; k <= 12; ++k) {
        touch(start / "music" / ("Song " + std::to_string(k + 10) + ".mp3"));
    }
    touch(start / "music" / "notes.txt");
    touch(start / "music" / "path.txt", "/elsewhere");
    touch(start / "empty" / "path.txt", "/elsewhere");

    enterFolderFromCommandLine("music/Song 21.mp3");
    settleMusicFolder();
    GetAllSong();
    init();
    startFromGivenSong();
    Play();
    EXPECT_EQ(std::filesystem::current_path(), start / "music");
    EXPECT_STREQ(S.dirname, "");
    EXPECT_STREQ(S.old_path, "");
    EXPECT_EQ(S.p_count * kSlotsPerPage + S.num, 10);
    EXPECT_STREQ(S.Label, "Song 21");
    EXPECT_EQ(fake::openedSongs(fake::takeCommands()), std::vector<std::string>{S.givenSong});

    std::filesystem::current_path(start);
    EXPECT_EXIT(enterFolderFromCommandLine("music/notes.txt"), ::testing::ExitedWithCode(1),
                "^mp3: music/notes.txt: not an MP3 file\n$");
    EXPECT_EXIT(enterFolderFromCommandLine("gone"), ::testing::ExitedWithCode(1),
                "^mp3: gone: No such file or directory\n$");
    const std::string letters = [] {
        std::string text;
        for (int k = 0; k < 2000; ++k) {
            text += "\xc3\xa9";
        }
        return text;
    }();
    EXPECT_EXIT(enterFolderFromCommandLine(letters.c_str()), ::testing::ExitedWithCode(1),
                "^mp3: [^?]+: File name too long\n$");
    // A folder that cannot be listed is no folder without songs (root can
    // list any).
    if (geteuid() != 0) {
        using std::filesystem::perms;
        std::filesystem::permissions(start / "music", perms::owner_write | perms::owner_exec);
        EXPECT_EXIT(enterFolderFromCommandLine("music"), ::testing::ExitedWithCode(1),
                    "^mp3: music: Permission denied\n$");
        EXPECT_EXIT(enterFolderFromCommandLine("music/Song 11.mp3"), ::testing::ExitedWithCode(1),
                    "Permission denied");
        std::filesystem::permissions(start / "music", perms::owner_all);
    }
    resetPlayerState();
    enterFolderFromCommandLine("empty");
    settleMusicFolder();
    fake::pressKeys(" ");
    EXPECT_EXIT(GetAllSong(), ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(screen().row(11), std::string(19, ' ') + "Press eny key to continue");
    EXPECT_EQ(slurp(start / "empty" / "path.txt"), "/elsewhere");
}

}  // namespace
