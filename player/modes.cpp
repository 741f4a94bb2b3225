#include "player/modes.h"

#include <cstdio>
#include <cstring>

#include "player/pages.h"
#include "player/playback.h"
#include "player/resume.h"
#include "player/shuffle.h"
#include "player/state.h"
#include "tcconio/tcconio.h"

namespace {

constexpr int kModesColumn = 25;
constexpr int kModesRow = 16;

// Too large for the stack, and kept from song to song.
ShuffleOrder order;
// Play calls counted by S.songStarts when the song that plays was stopped;
// -1 while it was not. A key after a stop goes on to the next song, as
// after S, whatever the repeat mode.
int stoppedSongStart = -1;
bool modesDrawn = false;

bool playingSongKnown() {
    return S.playingSong >= 0 && S.playingSong < S.TotalSong;
}

// The order, made anew when it does not hold the song that plays (the
// shuffle was just turned on, another folder was loaded): the song that
// plays then begins a round.
ShuffleOrder& currentOrder() {
    const int song = playingSongKnown() ? S.playingSong : -1;
    if (order.count != S.TotalSong || order.count == 0 || order.songs[order.at] != song) {
        beginShuffleRound(order, S.TotalSong, song);
    }
    return order;
}

// Shows the page that holds the song as a page turn shows it, and plays it
// from its start; its row flashes from the next pass on.
// The row that flashed goes back to normal first, on the page it is on.
void playSongAt(int song) {
    CloseSong();
    GetOldColor();
    if (song / kSlotsPerPage != S.p_count) {
        showPageOf(song);
    }
    S.num = song % kSlotsPerPage;
    S.a_uto = 0;
    Play();
}

// The end of the folder with repeat off: stopped as by S, so that the next
// key goes on.
void stopAtEnd() {
    Stop();
}

void modesChanged(UserSetting which) {
    userSettingChanged(which);
    modesDrawn = false;
}

}  // namespace

void toggleShuffle() {
    setShuffle(!S.shuffle);
    drawModes();
}

void setShuffle(bool on) {
    if (S.shuffle == (on ? 1 : 0)) {
        return;
    }
    S.shuffle = on ? 1 : 0;
    if (on) {
        // The song that plays begins the first round.
        order.count = 0;
        currentOrder();
    }
    modesChanged(UserSetting::Shuffle);
}

void cycleRepeatMode() {
    setRepeatMode(S.repeatMode == kRepeatSong  ? kRepeatOff
                  : S.repeatMode == kRepeatOff ? kRepeatFolder
                                               : kRepeatSong);
    drawModes();
}

void setRepeatMode(int mode) {
    if (mode != kRepeatFolder && mode != kRepeatSong && mode != kRepeatOff) {
        return;
    }
    if (S.repeatMode != mode) {
        S.repeatMode = mode;
        modesChanged(UserSetting::Repeat);
    }
}

bool advanceByModes() {
    const bool goOnAfterStop = stoppedSongStart == S.songStarts;
    stoppedSongStart = -1;
    const bool repeatOff = S.repeatMode == kRepeatOff && !goOnAfterStop;
    // A song that could not be played is not tried again and again.
    if (S.repeatMode == kRepeatSong && !goOnAfterStop && S.trackOpen && playingSongKnown()) {
        playSongAt(S.playingSong);
        return true;
    }
    if (S.shuffle) {
        ShuffleOrder& shuffled = currentOrder();
        if (repeatOff && atEndOfShuffleRound(shuffled)) {
            stopAtEnd();
        } else {
            playSongAt(nextShuffledSong(shuffled));
        }
        return true;
    }
    if (repeatOff && S.playingSong == S.TotalSong - 1) {
        stopAtEnd();
        return true;
    }
    return false;
}

bool nextSongByModes() {
    if (!S.shuffle) {
        return false;
    }
    playSongAt(nextShuffledSong(currentOrder()));
    return true;
}

bool previousSongByModes() {
    if (!S.shuffle) {
        return false;
    }
    playSongAt(previousShuffledSong(currentOrder()));
    return true;
}

// A song started otherwise than by the order (a digit, P, R, the folder's
// own order) counts as played in the round.
void noteSongStarted() {
    if (S.shuffle && order.count == S.TotalSong && playingSongKnown()) {
        pickShuffledSong(order, S.playingSong);
    }
}

void noteStopped() {
    stoppedSongStart = S.songStarts;
}

void forgetShuffleOrder() {
    order.count = 0;
}

void drawModes() {
    char text[48] = "";
    if (S.shuffle) {
        std::strcat(text, "Shuffle");
    }
    if (S.repeatMode != kRepeatFolder) {
        std::strcat(text, text[0] != 0 ? ", " : "");
        std::strcat(text, S.repeatMode == kRepeatSong ? "Repeat song" : "Repeat off");
    }
    gotoxy(kModesColumn, kModesRow);
    textcolor(7);
    clreol();
    std::printf("%s", text);
    modesDrawn = true;
}

void drawModesIfChanged() {
    if (!modesDrawn) {
        drawModes();
    }
}
