#include "player/pages.h"

#include <cstdio>

#include "player/state.h"
#include "tcconio/tcconio.h"

namespace {

void clearRowsOf(int page) {
    int count = songsOnPage(page);
    for (int slot = 0; slot < count; ++slot) {
        gotoPlaylistRow(slot);
        clreol();
    }
}

// Draws the rows of the page shown and makes it the window that plays:
// its short and display names go to entries 0 to 8 of the catalogue.
void drawPageAsWindow() {
    int count = songsOnPage(S.p_count);
    for (int slot = 0; slot < count; ++slot) {
        gotoPlaylistRow(slot);
        printPlaylistRow(slot);
        copyCell(S.NextSong[slot], S.p_file[S.p_count][slot]);
        copyCell(S.LongFileName[slot], S.p_List[S.p_count][slot]);
    }
}

}  // namespace

void gotoPlaylistRow(int slot) {
    S.y[slot] = slot + 5;
    gotoxy(S.x, S.y[slot]);
}

const char* displayNameOf(int song) {
    return S.p_List[song / kSlotsPerPage][song % kSlotsPerPage];
}

int songsOnPage(int page) {
    int count = 0;
    while (count < kPageCells && S.p_List[page][count][0] != 0) {
        ++count;
    }
    return count;
}

void printPlaylistRow(int slot) {
    std::printf("%d. %s", slot + 1, S.p_List[S.p_count][slot]);
}

void printPageNumber() {
    gotoxy(50, 4);
    std::printf("[%d]", S.p_count + 1);
}

void p_NextList() {
    if (S.p_count >= S.MAX) {
        return;
    }
    if (S.p_count >= 0) {
        clearRowsOf(S.p_count);
    }
    ++S.p_count;
    if (S.p_count == 0) {
        clearRowsOf(0);
    }
    drawPageAsWindow();
    printPageNumber();
}

void p_PrevList() {
    if (S.p_count <= 0) {
        return;
    }
    clearRowsOf(S.p_count);
    --S.p_count;
    drawPageAsWindow();
    printPageNumber();
}

void showPageOf(int song) {
    S.p_count = song / kSlotsPerPage - 1;  // p_NextList shows the page after p_count
    p_NextList();
}

void AutoP_List() {
    if (S.p_count >= S.MAX) {
        showPageOf(0);
        return;
    }
    ++S.p_count;
    int count = songsOnPage(S.p_count);
    for (int slot = 0; slot < count; ++slot) {
        if (slot == count - 1) {
            for (int rest = slot; rest < kSlotsPerPage; ++rest) {
                gotoPlaylistRow(rest);
                clreol();
            }
        }
        gotoPlaylistRow(slot);
        clreol();
        textcolor(7);
        printPlaylistRow(slot);
        // Only the short names change: the display names of the window keep
        // what they held before the turn.
        copyCell(S.NextSong[slot], S.p_file[S.p_count][slot]);
    }
    printPageNumber();
    S.m_normal_text = 0;
}

void GetOldColor() {
    textcolor(7);
    gotoxy(S.x, S.y[S.m_normal_text]);
    printPlaylistRow(S.m_normal_text);
    S.m_normal_text = 0;
}
