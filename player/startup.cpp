#include "player/startup.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fs.h"
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
    std::memset(S.dirname, 0, sizeof S.dirname);
    std::memcpy(S.dirname, text, length);
    return true;
}

// A relative folder in path.txt is relative to the start directory. Its full
// path is taken once, here, since the working directory moves on later. When
// the full path does not fit its cell the folder stays as written; changing
// into it again from inside it then fails and leaves the working directory
// there, which serves unless the folder holds a subfolder of the same name.
void makeMusicFolderFull() {
    if (S.dirname[0] != 0) {
        fullFolderPath(S.dirname, S.old_path, S.dirname);
    }
}

}  // namespace

void lookUpUserName() {
    unsigned nUserName = sizeof S.UserName;
    if (!GetUserName(S.UserName, &nUserName)) {
        std::printf("Failed to lookup user name, error code %u", GetLastError());
    }
    makePrintable(S.UserName);
}

void settleMusicFolder() {
    std::memset(S.dirname, 0, sizeof S.dirname);
    if (workingDirectoryHoldsSongs()) {
        return;
    }
    rememberStartDirectory();
    if (readFolderFile()) {
        makeMusicFolderFull();
    } else {
        enter_path();
    }
}
