#include "player/quit.h"

#include <cstdio>
#include <cstdlib>

#include "player/cache.h"
#include "player/resume.h"
#include "player/state.h"
#include "player/track.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

// The farewell, in the order shown: the first line comes to rest on row 14,
// the second above it on row 13.
const char* const about[] = {
    "See you soon!",
    "Thank you for listening with Folderplay.",
};

constexpr int kColumn = 15;
constexpr int kFirstRow = 5;
constexpr int kStepMilliseconds = 50;
constexpr int kPauseMilliseconds = 500;

// Moves a line down from row 5 to lastRow, one row a step, erasing the row
// it leaves.
void slideDown(const char* line, int lastRow) {
    for (int row = kFirstRow; row <= lastRow; ++row) {
        gotoxy(kColumn, row);
        std::printf("%s", line);
        gotoxy(kColumn, row - 1);
        clreol();
        _sleep(kStepMilliseconds);
    }
}

}  // namespace

void showFarewell() {
    clrscr();
    // The sound stops before the farewell; with no track open the close
    // fails, which changes nothing here.
    closeTrackQuietly();
    slideDown(about[0], 14);
    slideDown(about[1], 13);
}

void recordAtEnd() {
    notePointNow();
    closeTrackQuietly();
    recordPointNow();
}

void endOnSignal() {
    recordAtEnd();
    std::exit(1);
}

void Quit() {
    // The position is taken while the song plays; the file is written once
    // the sound has stopped.
    notePointNow();
    showFarewell();
    recordPointNow();
    write_data();
    _sleep(kPauseMilliseconds);
    std::exit(1);
}
