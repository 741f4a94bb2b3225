// The wait for a terminal large enough for the player's screens. Its key is
// read through the key decoder like every other key, so that a key decoded
// before the wait ends it, and an escape sequence is taken whole however its
// bytes arrive.

#include <cstdio>
#include <cstring>

#include "tcconio/conio_internal.h"
#include "tcconio/input.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

// One line, in whatever width the terminal has: the short form where the
// full one would wrap.
void showEnlargeRequest(int cols, int rows) {
    char request[128];
    std::snprintf(request, sizeof request,
                  "Enlarge the terminal to at least %d x %d (now %d x %d), or press a key.",
                  kConioNeededCols, kConioNeededRows, cols, rows);
    if (static_cast<int>(std::strlen(request)) >= cols) {
        std::snprintf(request, sizeof request, "Need at least %d x %d (now %d x %d)",
                      kConioNeededCols, kConioNeededRows, cols, rows);
    }
    clrscr();
    std::fputs(request, stdout);
}

}  // namespace

void conioRequireSize() {
    int cols = 0;
    int rows = 0;
    if (!conioTerminalSize(&cols, &rows)) {
        return;
    }
    int shownCols = 0;
    int shownRows = 0;
    while (cols < kConioNeededCols || rows < kConioNeededRows) {
        if (cols != shownCols || rows != shownRows) {
            showEnlargeRequest(cols, rows);
            shownCols = cols;
            shownRows = rows;
        }
        if (sleepUntilKey(kSizeLookMilliseconds)) {
            waitForWholeKey();
            break;
        }
        if (!conioTerminalSize(&cols, &rows)) {
            break;
        }
    }
    if (shownCols != 0) {
        clrscr();
    }
}
