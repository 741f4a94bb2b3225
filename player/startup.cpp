#include "player/startup.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fs.h"
#include "platform/shortname.h"
#include "player/ending.h"
#include "player/folder.h"
#include "player/state.h"
#include "tcconio/tcconio.h"

namespace {

bool workingDirectoryHoldsSongs() {
    _finddata_t found;
    intptr_t search = _findfirst("*.mp3", &found);
    if (search == -1) {
        return false;
    }
    _findclose(search);
    return true;
}

void rememberStartDirectory() {
    unsigned length = GetCurrentDirectory(sizeof S.old_path, S.old_path);
    if (length == 0) {
        endWithMessage("cannot read the start directory: ", std::strerror(GetLastError()));
    }
    if (length >= sizeof S.old_path) {
        endWithMessage("the path of the start directory is longer than 127 bytes; ",
                       "start the player in a folder with a shorter path");
    }
}

// A text editor may have added a line end to a hand-edited path.txt; it is
// not part of the folder's name. Returns the length without it.
std::size_t withoutTrailingLineEnd(const char* text, std::size_t length) {
    if (length > 0 && text[length - 1] == '\n') {
        --length;
        if (length > 0 && text[length - 1] == '\r') {
            --length;
        }
    }
    return length;
}

// Reads the folder recorded in path.txt into dirname. False when there is no
// path.txt. One that is no regular file, cannot be read or names a path
// longer than dirname holds ends the program with a message and stays as it
// is: a path cut short could name another folder.
bool readFolderFile() {
    FILE* folderFile = fopenRegularFile(S.file_path);
    if (folderFile == nullptr) {
        if (errno == ENOENT) {
            return false;
        }
        if (errno == EINVAL) {
            endWithMessage("path.txt is not a regular file; ", "remove or rename it");
        }
        endWithMessage("cannot read path.txt: ", std::strerror(errno));
    }
    // Room for the longest path, a line end and one byte more, which tells a
    // path that is too long.
    char text[kCellSize + 2];
    std::size_t got = std::fread(text, 1, sizeof text, folderFile);
    bool failed = std::ferror(folderFile) != 0;
    int error = errno;
    std::fclose(folderFile);
    if (failed) {
        endWithMessage("cannot read path.txt: ", std::strerror(error));
    }
    std::size_t length = withoutTrailingLineEnd(text, got);
    if (length > sizeof S.dirname - 1) {
        endWithMessage("path.txt holds a path longer than 127 bytes; ", "shorten or remove it");
    }
    // A zero byte ends the path early: what comes before it is another folder,
    // or none.
    if (std::memchr(text, 0, length) != nullptr) {
        endWithMessage("path.txt holds a zero byte, which no path has; ", "correct or remove it");
    }
    std::memset(S.dirname, 0, sizeof S.dirname);
    std::memcpy(S.dirname, text, length);
    return true;
}

// A relative folder in path.txt is relative to the start directory. Its full
// path is taken once, here, since the working directory moves on later. One
// whose full path does not fit its cell is refused: kept relative, it would be
// entered again from inside itself, and a subfolder of the same name played.
void makeMusicFolderFull() {
    if (S.dirname[0] != 0 && !fullFolderPath(S.dirname, S.old_path, S.dirname)) {
        endWithMessage("the folder in path.txt has a full path longer than 127 bytes; ",
                       "record it by a shorter path");
    }
}

// Ends for a path of the command line with "mp3: PATH: reason", before the
// terminal is taken. The path is cut to a cell, never in half a character,
// and every byte that a terminal would act on is shown as "?".
[[noreturn]] void refuseTarget(const char* target, const char* reason) {
    // Room for the character that crosses the cut, whole, so that the cut
    // can go before it.
    char shown[kCellSize + 3];
    copyCell(shown, target);
    cutUtf8(shown, kCellSize - 1);
    makePrintable(shown);
    std::fprintf(stderr, "mp3: %s: %s\n", shown, reason);
    std::exit(1);
}

// The working directory, entered from the command line, must be one that can
// be listed: a folder without read permission would otherwise pass for one
// without songs, or a song in it for no MP3 file.
void requireListableFolder(const char* target) {
    _finddata_t found;
    const intptr_t search = _findfirst("*.mp3", &found);
    if (search != -1) {
        _findclose(search);
    } else if (errno != ENOENT) {
        refuseTarget(target, std::strerror(errno));
    }
}

// Whether the search of the working directory lists name: the rule that
// makes a file a song of the catalogue (its extension, a regular file, not
// hidden). The search's reading is kept for the scan that follows.
bool searchListsSong(const char* name) {
    _finddata_t found;
    intptr_t search = _findfirst("*.mp3", &found);
    if (search == -1) {
        return false;
    }
    bool listed = false;
    do {
        listed = std::strcmp(found.name, name) == 0;
    } while (!listed && _findnext(search, &found) == 0);
    _findclose(search);
    return listed;
}

// A path that is no folder: its folder is entered and the song's short name
// kept, by which the scan's entry for it is found.
void enterFolderOfSong(const char* target) {
    const char* slash = std::strrchr(target, '/');
    const char* name = slash ? slash + 1 : target;
    if (slash != nullptr) {
        std::string folder(target, slash == target ? 1 : static_cast<std::size_t>(slash - target));
        if (_chdir(folder.c_str()) < 0) {
            refuseTarget(target, std::strerror(errno));
        }
    }
    requireListableFolder(target);
    if (!searchListsSong(name)) {
        refuseTarget(target, "not an MP3 file");
    }
    unsigned length = GetShortPathName(name, S.givenSong, sizeof S.givenSong);
    if (length == 0 || length >= sizeof S.givenSong) {
        S.givenSong[0] = 0;
        refuseTarget(target, std::strerror(length == 0 ? errno : ENAMETOOLONG));
    }
}

}  // namespace

void enterFolderFromCommandLine(const char* target) {
    S.folderGiven = 1;
    if (_chdir(target) == 0) {
        requireListableFolder(target);
        return;
    }
    if (errno != ENOTDIR) {
        refuseTarget(target, std::strerror(errno));
    }
    enterFolderOfSong(target);
}

void startFromGivenSong() {
    if (S.givenSong[0] == 0) {
        return;
    }
    int k = 0;
    while (k < S.TotalSong && std::strcmp(S.NextSong[k], S.givenSong) != 0) {
        ++k;
    }
    if (k == S.TotalSong) {
        return;
    }
    S.p_count = k / kSlotsPerPage;
    S.num = k % kSlotsPerPage;
    // The page shown is the window that plays, as after paging to it.
    for (int slot = 0; slot < kSlotsPerPage && S.p_file[S.p_count][slot][0] != 0; ++slot) {
        copyCell(S.NextSong[slot], S.p_file[S.p_count][slot]);
        copyCell(S.LongFileName[slot], S.p_List[S.p_count][slot]);
    }
}

void lookUpUserName() {
    unsigned nUserName = sizeof S.UserName;
    if (!GetUserName(S.UserName, &nUserName)) {
        std::printf("Failed to lookup user name, error code %u", GetLastError());
    }
    makePrintable(S.UserName);
}

void settleMusicFolder() {
    std::memset(S.dirname, 0, sizeof S.dirname);
    if (S.folderGiven || workingDirectoryHoldsSongs()) {
        return;
    }
    rememberStartDirectory();
    if (readFolderFile()) {
        makeMusicFolderFull();
    } else {
        enter_path();
    }
}
