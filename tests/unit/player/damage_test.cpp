// Damaged cache and folder files: at start-up, and at a Load followed by Q,
// each kind ends in the right total (every song measured again where a file
// cannot be trusted) or in a clear message, never in a crash, a hang or a
// length that no song has. After Q the files are whole; a Q that cannot write
// names the file and leaves the previous files as they were.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "player/cache.h"
#include "player/catalogue.h"
#include "player/load.h"
#include "player/startup.h"
#include "player_fixture.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Files = std::map<std::string, std::string>;

const char* const kCacheFiles[] = {"length.txt", "number.txt", "names.txt"};

// What a start with the damaged file does.
enum class AtStart {
    MeasuredAgain,  // every song is measured, and the total is right
    Refused,        // the start ends with the row's message; the file stays
    NoSongs,        // the scan finds no song where the file points: its message ends the start
};

struct Damage {
    Damage(std::string file, std::string what, std::function<void(const fs::path&)> make,
           AtStart atStart = AtStart::MeasuredAgain, std::string startMessage = "",
           std::string replaceMessage = "")
        : file(std::move(file)),
          what(std::move(what)),
          make(std::move(make)),
          atStart(atStart),
          startMessage(std::move(startMessage)),
          replaceMessage(std::move(replaceMessage)) {}

    std::string file;
    std::string what;
    std::function<void(const fs::path&)> make;
    AtStart atStart;
    std::string startMessage;  // on stderr, when the start is refused
    // On stderr when Q (for path.txt: Load) cannot replace the file; empty
    // when it replaces it whole.
    std::string replaceMessage;
};

std::string randomBytes(std::size_t count) {
    std::mt19937 generator(19);
    std::string bytes(count, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator());
    }
    return bytes;
}

void makeSparse2GB(const fs::path& file) {
    std::fclose(std::fopen(file.c_str(), "wb"));
    fs::resize_file(file, std::uintmax_t{2} << 30);
}

void makeDirectory(const fs::path& file) {
    fs::create_directory(file);
}

void makeFifo(const fs::path& file) {
    mkfifo(file.c_str(), 0600);
}

void makeDanglingLink(const fs::path& file) {
    fs::create_symlink("nowhere", file);
}

// Root reads every file: a link to itself cannot be opened by anyone.
void makeUnreadable(const fs::path& file) {
    if (geteuid() == 0) {
        fs::create_symlink(file.filename(), file);
        return;
    }
    std::fclose(std::fopen(file.c_str(), "wb"));
    fs::permissions(file, fs::perms::none);
}

class DamagedFiles : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        start_ = enterNewFolder();
        fs::create_directory(start_ / "music");
        touch(start_ / "music" / "a.mp3");
        touch(start_ / "music" / "b.mp3");
    }

    // main's steps up to the lengths, in the start directory with path.txt.
    void startUp() {
        resetPlayerState();
        fake::resetMedia();
        fake::media().fileLengths = {{"a.mp3", "215000"}, {"b.mp3", "185999"}};
        fs::current_path(start_);
        settleMusicFolder();
        GetAllSong();
        init();
        readCacheFiles();
    }

    // The files a sound start and quit leave.
    Files writeHealthyFiles() {
        for (const char* file : {"path.txt", "length.txt", "number.txt", "names.txt"}) {
            remove(file);
        }
        touch(start_ / "path.txt", "music");
        startUp();
        write_data();
        return files();
    }

    Files files() {
        Files content;
        for (const char* file : {"path.txt", "length.txt", "number.txt", "names.txt"}) {
            // Opening a FIFO would wait for a writer; the sparse file is
            // told by its size.
            std::error_code error;
            const fs::path path = start_ / file;
            const bool small = fs::is_regular_file(path, error) && fs::file_size(path) < 65536;
            content[file] = small ? slurp(path) : "";
        }
        return content;
    }

    void remove(const std::string& file) {
        std::error_code ignored;
        fs::permissions(start_ / file, fs::perms::owner_all, ignored);
        fs::remove_all(start_ / file);
    }

    // The songs opened to be measured.
    static Names measured() {
        Names songs;
        for (const std::string& command : fake::takeCommands()) {
            if (command.rfind("open ", 0) == 0 && command.ends_with(" alias song")) {
                songs.push_back(command.substr(5, command.find(' ', 5) - 5));
            }
        }
        return songs;
    }

    // Loads the music folder again, from the main screen's L.
    static void loadMusic() {
        fake::pressKeys("music\r");
        LoadSongs();
    }

    fs::path start_;
};

TEST_F(DamagedFiles, EachDamageEndsInTheRightTotalOrAClearMessage) {
    const Files healthy = writeHealthyFiles();
    ASSERT_EQ(healthy.at("length.txt"), "0 6 40 2 400");
    const std::string lengths = healthy.at("number.txt");
    auto content = [](const std::string& bytes) {
        return [bytes](const fs::path& file) { touch(file, bytes); };
    };
    auto truncated = [&healthy](const fs::path& file) {
        const std::string& whole = healthy.at(file.filename().string());
        touch(file, whole.substr(0, whole.size() / 2 + 1));
    };
    std::string binary = randomBytes(100);
    binary[40] = '\0';
    std::vector<Damage> damages;
    for (const std::string file : {"length.txt", "number.txt", "names.txt", "path.txt"}) {
        const bool cache = file != "path.txt";
        const AtStart unusable = cache ? AtStart::MeasuredAgain : AtStart::Refused;
        const std::string notAFile =
            cache ? "^mp3: cannot replace " + file + ": " : "^mp3: path.txt is not a regular file";
        damages.insert(
            damages.end(),
            {
                // No path.txt: the prompt asks, and Esc leaves no folder.
                {file, "missing", [](const fs::path&) {}, cache ? unusable : AtStart::NoSongs},
                {file, "empty", content(""), cache ? unusable : AtStart::NoSongs},
                {file, "garbage", content("garbage\n"), cache ? unusable : AtStart::NoSongs},
                {file, "truncated", truncated, cache ? unusable : AtStart::NoSongs},
                {file, "binary", content(binary), unusable, "^mp3: path.txt holds a zero byte"},
                {file, "a sparse 2 GB file", makeSparse2GB, unusable,
                 "^mp3: path.txt holds a path longer than 127 bytes"},
                {file, "a directory", makeDirectory, unusable, notAFile,
                 notAFile + (cache ? "Is a directory" : "")},
                {file, "a FIFO", makeFifo, unusable, notAFile,
                 notAFile + (cache ? "Not a regular file" : "")},
                // Taken as no path.txt.
                {file, "a dangling link", makeDanglingLink, cache ? unusable : AtStart::NoSongs},
                {file, "unreadable", makeUnreadable, unusable, "^mp3: cannot read path.txt"},
            });
    }
    damages.insert(
        damages.end(),
        {
            {"length.txt", "a count that lies, high", content("0 6 40 3 400")},
            {"length.txt", "a count that lies, low", content("0 3 35 1 215")},
            {"length.txt", "a negative count", content("0 6 40 -1 400")},
            {"length.txt", "a count over 5000", content("0 6 40 5001 400")},
            {"length.txt", "a negative total", content("0 6 40 2 -400")},
            {"length.txt", "a total beyond an int", content("0 6 40 2 99999999999")},
            {"length.txt", "a total the lengths do not make", content("0 6 41 2 401")},
            {"number.txt", "a negative length", content(lengths.substr(0, 4) + "\xFF\xFF\xFF\xFF")},
            {"number.txt", "lengths whose sum does not fit",
             content(std::string("\xFF\xFF\xFF\x7F\xFF\xFF\xFF\x7F", 8))},
            {"number.txt", "a record more", content(lengths + lengths.substr(0, 4))},
            {"names.txt", "a name without its zero",
             content(std::string(128, 'X') + std::string(2 * 1024 - 128, '\0'))},
            {"names.txt", "names of zero bytes", content(std::string(2048, '\0'))},
            {"names.txt", "a record more",
             content(healthy.at("names.txt") + std::string(1024, 'n'))},
        });

    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.file + ": " + damage.what);
        const bool isPath = damage.file == "path.txt";
        writeHealthyFiles();
        remove(damage.file);
        damage.make(start_ / damage.file);
        const fs::file_type kind = fs::symlink_status(start_ / damage.file).type();

        // At start-up.
        switch (damage.atStart) {
            case AtStart::MeasuredAgain:
                startUp();
                EXPECT_EQ(measured(), (Names{"a.mp3", "b.mp3"}));
                EXPECT_EQ(S.getlen, 400u);
                break;
            case AtStart::Refused:
                EXPECT_EXIT(startUp(), ::testing::ExitedWithCode(1), damage.startMessage);
                EXPECT_EQ(fs::symlink_status(start_ / damage.file).type(), kind);
                break;
            case AtStart::NoSongs:
                EXPECT_EXIT(
                    {
                        fake::pressKeys("\x1b ");
                        startUp();
                    },
                    ::testing::ExitedWithCode(1), "");
                break;
        }

        // At a Load and Q: the damaged file is replaced whole, or it is
        // named and the files of the previous quit stay as they were.
        if (isPath) {
            remove(damage.file);
            touch(start_ / "path.txt", "music");
            startUp();
            remove(damage.file);
            damage.make(start_ / damage.file);
        }
        Files expected = files();
        if (damage.replaceMessage.empty()) {
            if (!isPath) {
                loadMusic();
            }
            EXPECT_NO_FATAL_FAILURE(isPath ? loadMusic() : write_data());
            expected = healthy;
        } else {
            EXPECT_EXIT(
                {
                    loadMusic();
                    write_data();
                },
                ::testing::ExitedWithCode(1), damage.replaceMessage);
            EXPECT_EQ(fs::symlink_status(start_ / damage.file).type(), kind);
        }
        EXPECT_EQ(files(), expected);
    }
}

// A Q on a full disk or in a read-only folder. The folder is a small tmpfs in
// a mount namespace of the test's own, which nothing outlives.
class QuitWithoutRoom : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        disk_ = enterNewFolder();
    }

    // Without the right to mount, a user namespace of its own gives it, where
    // the system allows one: the user keeps its ids there.
    static bool ownMountNamespace() {
        if (unshare(CLONE_NEWNS) == 0) {
            return true;
        }
        const std::string uid = std::to_string(getuid());
        const std::string gid = std::to_string(getgid());
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            return false;
        }
        touch("/proc/self/setgroups", "deny");
        touch("/proc/self/uid_map", uid + " " + uid + " 1");
        touch("/proc/self/gid_map", gid + " " + gid + " 1");
        return true;
    }

    bool mountSmallDisk() {
        return ownMountNamespace() &&
               mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=16k") == 0 &&
               chdir(disk_.c_str()) == 0;
    }

    // Runs in a child: writes the previous files for three songs, takes the
    // room away, and quits in a grandchild, whose message is the child's.
    // Ends with 0 when the quit failed and left the previous files whole.
    [[noreturn]] void quitWithoutRoom(bool readOnly) {
        if (!mountSmallDisk()) {
            std::_Exit(77);
        }
        copyCell(S.old_path, disk_.c_str());
        makeCatalogue(3);
        write_data();
        const Names previous = {slurp("length.txt"), slurp("number.txt"), slurp("names.txt")};
        makeCatalogue(45);  // names.txt: 46080 bytes, more than the disk holds
        if (readOnly) {
            mount(nullptr, disk_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
        }
        const pid_t quit = fork();
        if (quit == 0) {
            write_data();
            std::_Exit(0);
        }
        int status = 0;
        waitpid(quit, &status, 0);
        const Names now = {slurp("length.txt"), slurp("number.txt"), slurp("names.txt")};
        std::_Exit(WIFEXITED(status) && WEXITSTATUS(status) == 1 && now == previous ? 0 : 3);
    }

    fs::path disk_;
};

TEST_F(QuitWithoutRoom, NamesTheFileAndLeavesThePreviousFilesWhole) {
    const pid_t probe = fork();
    if (probe == 0) {
        std::_Exit(mountSmallDisk() ? 0 : 77);
    }
    int status = 0;
    waitpid(probe, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        GTEST_SKIP() << "mounting a small tmpfs needs a mount namespace, which is not allowed here";
    }
    EXPECT_EXIT(quitWithoutRoom(false), ::testing::ExitedWithCode(0),
                "^mp3: cannot write names.txt: No space left on device\n$");
    EXPECT_EXIT(quitWithoutRoom(true), ::testing::ExitedWithCode(0),
                "^mp3: cannot create number.txt: Read-only file system\n$");
}

}  // namespace
