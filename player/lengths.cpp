#include "player/lengths.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "platform/fs.h"
#include "platform/mci/mci.h"
#include "player/media.h"
#include "player/state.h"
#include "tcconio/input.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

constexpr int kScreenColumns = 80;
constexpr int kScreenRows = 25;
constexpr int kNameColumn = 25;  // the name of the song in hand, on row 14
constexpr int kNameRow = 14;
constexpr int kListColumn = 20;  // the list of missing songs, from row 11
constexpr int kListFirstRow = 11;

int recordedCount() {
    return std::clamp(S.mm_time, 0, kMaxSongs);
}

// Orders indices by name, and indices of one name by index.
void sortByName(int* order, int count, const Cell* names) {
    std::iota(order, order + count, 0);
    std::sort(order, order + count, [names](int a, int b) {
        int byName = std::strcmp(names[a], names[b]);
        return byName != 0 ? byName < 0 : a < b;
    });
}

// The end of the run of entries of order, from first, that share one name.
int endOfName(const int* order, int first, int count, const Cell* names) {
    int end = first + 1;
    while (end < count && std::strcmp(names[order[end]], names[order[first]]) == 0) {
        ++end;
    }
    return end;
}

// Pairs the songs of the catalogue with the recorded songs by display name.
// Order on either side does not matter: a song inserted, removed or replaced
// anywhere leaves every other song with its own recorded length. A name that
// more than one song shows, here or in the record, cannot tell which length
// is whose: those songs are measured again, and as many recorded songs of
// that name as the catalogue still shows count as still there.
void matchRecordedSongs() {
    const int songs = S.TotalSong;
    const int records = recordedCount();
    std::fill(S.recordedOf, S.recordedOf + songs, -1);
    std::fill(S.stillThere, S.stillThere + records, false);
    sortByName(S.songOrder, songs, S.LongFileName);
    sortByName(S.recordOrder, records, S.CompareNames);
    for (int a = 0, b = 0; a < songs && b < records;) {
        int byName = std::strcmp(S.LongFileName[S.songOrder[a]], S.CompareNames[S.recordOrder[b]]);
        if (byName < 0) {
            ++a;
        } else if (byName > 0) {
            ++b;
        } else {
            const int songsEnd = endOfName(S.songOrder, a, songs, S.LongFileName);
            const int recordsEnd = endOfName(S.recordOrder, b, records, S.CompareNames);
            if (songsEnd - a == 1 && recordsEnd - b == 1) {
                S.recordedOf[S.songOrder[a]] = S.recordOrder[b];
            }
            for (int n = 0; n < std::min(songsEnd - a, recordsEnd - b); ++n) {
                S.stillThere[S.recordOrder[b + n]] = true;
            }
            a = songsEnd;
            b = recordsEnd;
        }
    }
}

// Opens song k under the alias "song", asks lengthQuery and closes it again.
// A query that fails counts as 0 seconds.
int measureSong(int k, const char* lengthQuery) {
    char command[kCellSize + 32];
    std::snprintf(command, sizeof command, "open %s alias song", S.NextSong[k]);
    sendUnchecked(command);
    char reply[kReplySize] = "";
    int result = mciSendString(lengthQuery, reply, sizeof reply);
    sendUnchecked("close song");
    return result == 0 ? static_cast<int>(secondsOf(reply)) : 0;
}

int measureByName(int k) {
    char query[kCellSize + 32];
    std::snprintf(query, sizeof query, "status %s length", S.NextSong[k]);
    return measureSong(k, query);
}

// Prints name from column on, cut to the screen's width: a longer one would
// wrap onto the next row.
void printCutToRow(int column, int row, const char* name) {
    char shown[kCellSize];
    copyCell(shown, name);
    cutUtf8(shown, kScreenColumns - column + 1);
    gotoxy(column, row);
    std::printf("%s", shown);
}

// Shows the song in hand on its row and sends it to the terminal at once:
// the walk's output would otherwise wait for the next key poll, and the
// added songs' walk polls none.
void showSongName(int k) {
    gotoxy(kNameColumn, kNameRow);
    clreol();
    printCutToRow(kNameColumn, kNameRow, S.LongFileName[k]);
    std::fflush(stdout);
}

void showTitle(const char* title) {
    gotoxy(25, 10);
    std::printf("%s", title);
}

// getlen is the sum of the catalogue's lengths. It stops at the largest
// signed value, since length.txt carries it as a signed number.
void sumLengths() {
    unsigned long long total = 0;
    for (int k = 0; k < S.TotalSong; ++k) {
        total += static_cast<unsigned>(S.number[k]);
    }
    S.getlen = static_cast<unsigned>(std::min<unsigned long long>(total, INT_MAX));
    splitTotalTime();
}

// The missing names from row 11 down; when they do not all fit, the last
// row tells how many more there are.
void showMissingList(int missing) {
    const int rows = kScreenRows - kListFirstRow + 1;
    const int shown = missing <= rows ? missing : rows - 1;
    int row = kListFirstRow;
    for (int g = 0; g < recordedCount() && row < kListFirstRow + shown; ++g) {
        if (!S.stillThere[g]) {
            printCutToRow(kListColumn, row++, S.CompareNames[g]);
        }
    }
    if (shown < missing) {
        gotoxy(kListColumn, row);
        std::printf("... and %d more", missing - shown);
    }
}

}  // namespace

void splitTotalTime() {
    S.h2 = static_cast<int>(S.getlen / 3600 % 24);
    S.m2 = static_cast<int>(S.getlen / 60 % 60);
    S.s2 = static_cast<int>(S.getlen % 60);
}

void GetTotalTimeAllSong() {
    _chdir(S.dirname);
    showTitle("Please wait... Load Songs");
    for (int k = 0; k < S.TotalSong; ++k) {
        showSongName(k);
        S.number[k] = measureByName(k);
        // A key stops the walk; nothing is recorded, so the next start
        // measures again.
        if (_kbhit()) {
            std::exit(1);
        }
    }
    sumLengths();
}

void GetTimeAddSong() {
    _chdir(S.dirname);
    matchRecordedSongs();
    std::copy(S.number, S.number + kMaxSongs, S.recordedLength);
    std::fill(S.number, S.number + kMaxSongs, 0);
    bool titleShown = false;
    for (int k = 0; k < S.TotalSong; ++k) {
        if (S.recordedOf[k] >= 0) {
            S.number[k] = S.recordedLength[S.recordedOf[k]];
            continue;
        }
        if (!titleShown) {
            showTitle("Please wait... Load New Songs");
            titleShown = true;
        }
        S.number[k] = measureSong(k, "status song length");
        showSongName(k);
    }
    sumLengths();
}

// The songs that GetTimeAddSong matched with none of the catalogue.
void GetTimeDelSong() {
    const int records = recordedCount();
    const int missing = static_cast<int>(std::count(S.stillThere, S.stillThere + records, false));
    if (missing == 0) {
        return;
    }
    clrscr();
    gotoxy(kListColumn, 10);
    std::printf("some mp3 file(s) missing on your dirictory");
    showMissingList(missing);
    waitForWholeKey();
}
