#include "player/catalogue.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fs.h"
#include "platform/shortname.h"
#include "player/state.h"
#include "tcconio/input.h"
#include "tcconio/tcconio.h"

namespace {

// The folder holds no MP3 file. When the folder came from path.txt, the file
// is removed so that the next start asks for a folder again; a folder or a
// FIFO of that name is no folder file and stays, and so does the path.txt of
// a folder named on the command line, which did not come from it.
[[noreturn]] void endForEmptyFolder() {
    _chdir(S.old_path);
    FILE* folderFile = S.folderGiven ? nullptr : fopenRegularFile(S.file_path);
    gotoxy(20, 10);
    std::printf("Sorry no mp3 file(s) on this dirictory");
    gotoxy(20, 11);
    std::printf(folderFile ? "Press eny key to exit" : "Press eny key to continue");
    waitForWholeKey();
    if (folderFile) {
        std::fclose(folderFile);
        removeRegularFile(S.file_path);
    }
    std::exit(1);
}

[[noreturn]] void endForTooManySongs() {
    clrscr();
    gotoxy(28, 10);
    std::printf("Maximum %d mp3 files loads", kMaxSongs);
    waitForWholeKey();
    std::exit(1);
}

// Stores one found file at catalogue index k. False when its short form
// cannot be had (the file vanished since the search listed it): it is left out.
bool storeSong(int k, const char* foundName) {
    unsigned length = GetShortPathName(foundName, S.ShortPathName[k], kShortCellSize);
    if (length == 0 || length >= kShortCellSize) {
        S.NextSong[k][0] = 0;
        S.LongFileName[k][0] = 0;
        return false;
    }
    // A name longer than the cell is cut for display only: the song is opened
    // by its short form, which names the whole file.
    char shown[sizeof(_finddata_t::name)];
    copyCell(shown, foundName);
    cutUtf8(shown, kCellSize - 1);
    makePrintable(shown);
    copyCell(S.LongFileName[k], shown);
    copyCell(S.NextSong[k], S.ShortPathName[k]);
    return true;
}

}  // namespace

void GetAllSong() {
    std::memset(S.NextSong, 0, sizeof S.NextSong);
    std::memset(S.LongFileName, 0, sizeof S.LongFileName);
    clrscr();
    _chdir(S.dirname);

    _finddata_t found;
    intptr_t search = _findfirst("*.mp3", &found);
    if (search == -1) {
        endForEmptyFolder();
    }
    int k = 0;
    do {
        if (k == kMaxSongs) {
            endForTooManySongs();
        }
        // Copy the name before the search step overwrites the record.
        char name[sizeof found.name];
        copyCell(name, found.name);
        S.err = _findnext(search, &found);
        if (storeSong(k, name)) {
            ++k;
        }
    } while (S.err == 0);
    _findclose(search);
    if (k == 0) {
        endForEmptyFolder();
    }

    S.TotalSong = k;
    S.num = 0;
    _chdir(S.old_path);
}

void cutDisplayName(char* name) {
    cutUtf8(name, kDisplayNameMax);
    if (char* point = std::strchr(name, '.')) {
        *point = 0;
    }
}

void init() {
    for (int k = 0; k < kMaxSongs && S.NextSong[k][0] != 0; ++k) {
        cutDisplayName(S.LongFileName[k]);
    }
    int page = 0;
    int slot = 0;
    for (int k = 0; k < kMaxSongs && S.NextSong[k][0] != 0; ++k) {
        if (slot == kSlotsPerPage) {
            ++page;
            slot = 0;
        }
        copyCell(S.p_List[page][slot], S.LongFileName[k]);
        copyCell(S.p_file[page][slot], S.NextSong[k]);
        ++slot;
    }
    S.MAX = page;
    S.p_count = 0;
}
