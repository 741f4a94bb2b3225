#include "player/startup.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fs.h"
#include "player/folder.h"
#include "player/state.h"
#include "tcconio/tcconio.h"

namespace {

// Ends the program with a message that stays on the terminal after the
// player's screen is gone.
[[noreturn]] void endWithMessage(const char* what, const char* detail) {
    conioRestore();
    std::fprintf(stderr, "mp3: %s%s\n", what, detail);
    std::exit(1);
}

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
// not part of the folder's name.
void dropTrailingLineEnd(char* text) {
    std::size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '\n') {
        text[--length] = 0;
        if (length > 0 && text[length - 1] == '\r') {
            text[--length] = 0;
        }
    }
}

// Reads the folder recorded in path.txt into dirname. False when the file
// does not open.
bool readFolderFile() {
    FILE* folderFile = std::fopen(S.file_path, "rb");
    if (folderFile == nullptr) {
        return false;
    }
    std::memset(S.dirname, 0, sizeof S.dirname);
    std::size_t got = std::fread(S.dirname, 1, sizeof S.dirname - 1, folderFile);
    S.dirname[got] = 0;
    std::fclose(folderFile);
    dropTrailingLineEnd(S.dirname);
    return true;
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
    if (!readFolderFile()) {
        enter_path();
    }
}
