#include "player/screen.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/mci/mci.h"
#include "player/dialogs.h"
#include "player/gain.h"
#include "player/load.h"
#include "player/pages.h"
#include "player/playback.h"
#include "player/quit.h"
#include "player/remote.h"
#include "player/resume.h"
#include "player/state.h"
#include "player/volume.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

const char* const kProductTitle = "Folderplay " MP3_VERSION " - a text-mode MP3 player";

namespace {

// The last page with songs, taken when the main screen is entered.
int max_len;

void drawPlaylist() {
    int count = songsOnPage(S.p_count);
    for (int slot = 0; slot < count; ++slot) {
        gotoPlaylistRow(slot);
        clreol();
        printPlaylistRow(slot);
    }
}

// The notice stands at column 50, or one blank after the total time where a
// total of ten thousand hours or more reaches that far.
int noticeColumn() {
    constexpr int kTotalColumn = 25;
    char total[48];
    const int width =
        std::snprintf(total, sizeof total, "Total Time -> %02u:00:00", S.getlen / 3600);
    return std::max(50, kTotalColumn + width + 1);
}

// The output is told once the first song has opened it; until then, which
// is a few milliseconds, the idle passes leave the row empty. While
// ReplayGain is on, its mode and gain take the place of the output's name,
// so that the line stays within 80 columns.
void drawNotice() {
    gotoxy(noticeColumn(), 19);
    textcolor(7);
    clreol();
    const char* output = mciAudioOutput();
    if (output == nullptr) {
        return;
    }
    char gain[64];
    gainNotice(gain, sizeof gain);
    if (gain[0] != 0) {
        std::printf("Vol %d%%, %s", S.volume / 10, gain);
    } else {
        std::printf("Audio: %s, %d%%", output, S.volume / 10);
    }
}

void drawUserName() {
    textcolor(7);
    gotoxy(2, 21);
    std::printf("User Name: ");
    std::printf("%s ", S.UserName);
}

void wrapToFirstPage() {
    S.p_count = -1;
    p_NextList();
    S.num = -1;
    S.a_uto = 0;
}

// The track has run to its end: go on with the next slot, turning the page
// after the last slot of a page or after the song chosen with "9", and back
// to page 0 after the last song of the folder.
void advanceAfterTrackEnd() {
    if (S.p_count == max_len && S.p_List[S.p_count][S.num + 1][0] == 0) {
        wrapToFirstPage();
    }
    if (S.a_uto) {
        AutoP_List();
        S.num = -1;
        S.a_uto = 0;
    }
    if (S.num == kSlotsPerPage - 1) {
        AutoP_List();
        S.num = -1;
    }
    GetOldColor();
    CloseSong();
    ++S.num;
    Play();
}

void nextSong() {
    CloseSong();
    ++S.num;
    if (S.num >= songsOnPage(S.p_count)) {
        p_NextList();
        S.a_uto = 0;
        S.num = 0;
    }
    GetOldColor();
    S.isPlay = 0;
    Play();
}

bool slotHoldsSong(int slot) {
    return S.p_List[S.p_count][slot][0] != 0;
}

// After paging, the page shown may have no song in the playing slot (a song
// of a longer page plays). A key then picks a song of the page shown, never
// the stale entry of the slot, which would play another page's song under a
// name of this one. The song so picked was not chosen with "9": its end does
// not turn the page.
void startFromSongOfPage(int slot) {
    S.num = slot;
    S.a_uto = 0;
}

void previousSong() {
    CloseSong();
    --S.num;
    if (S.num >= 0 && !slotHoldsSong(S.num)) {
        startFromSongOfPage(songsOnPage(S.p_count) - 1);  // the song before the empty slots
    }
    S.isPlay = 1;
    GetOldColor();
    Play();
}

void playAgain() {
    CloseSong();
    if (!slotHoldsSong(S.num)) {
        startFromSongOfPage(0);  // the page shown from its first song
    }
    Play();
}

// A digit picks a song of the page shown; on the last page only a slot that
// holds a song.
void playChosenSlot(char key) {
    int hot_key = (key >= '1' && key <= '9') ? key - '0' : 0;
    if (hot_key == 0 || hot_key > S.TotalSong) {
        return;
    }
    if (S.p_count == max_len && S.p_List[S.p_count][hot_key - 1][0] == 0) {
        return;
    }
    S.a_uto = hot_key == kSlotsPerPage ? 1 : 0;
    S.num = hot_key - 1;
    CloseSong();
    Play();
    if (!S.m_null) {
        GetOldColor();
    }
}

void showPaused() {
    gotoxy(1, kStatusRow);
    clreol();
    std::printf(" Paused -> %s ", S.Label);
}

// Only W resumes; every other key is discarded. A terminal that changed its
// size meanwhile gets the main screen drawn anew, as the main loop does.
void waitForResumeKey() {
    RemotePlaceScope paused(RemotePlace::Paused);
    while (true) {
        if (conioTakeResize()) {
            conioRequireSize();
            redrawMainScreen();
            showPaused();
        }
        if (!sleepUntilKey(kIdleMilliseconds)) {
            continue;
        }
        char key = static_cast<char>(_getch());
        if (key == 'w' || key == 'W') {
            return;
        }
    }
}

// The second code of an extended key: only the arrows act.
void handleExtendedKey(char code) {
    if (code == 'M') {
        nextSong();
    } else if (code == 'K') {
        previousSong();
    }
}

PassResult handleKey(char key) {
    if (S.afterPrefix) {
        S.afterPrefix = 0;
        S.m_null = 0;
        S.Control = 0;
        handleExtendedKey(key);
        return PassResult::NextPass;
    }
    playChosenSlot(key);
    S.m_null = 0;
    S.Control = 0;
    if (isKeyPrefix(static_cast<unsigned char>(key))) {
        S.afterPrefix = 1;
        return PassResult::NextPass;
    }
    switch (std::tolower(static_cast<unsigned char>(key))) {
        case 'p':
            playAgain();
            return PassResult::NextPass;
        case 's':
            Stop();
            return PassResult::NextPass;
        case 'w':
            Pause();
            return PassResult::NextPass;
        case '=':
        case '+':
            p_NextList();
            return PassResult::NextPass;
        case '-':
            p_PrevList();
            return PassResult::NextPass;
        case 'x':
            Speed();
            return PassResult::ReturnToMainScreen;
        case 'c':
            Position();
            return PassResult::ReturnToMainScreen;
        case 'l':
            LoadSongs();
            return PassResult::ReturnToMainScreen;
        case '*':
        case '/':
            if (key == '*') {
                louder();
            } else {
                softer();
            }
            drawNotice();
            return PassResult::NextPass;
        case 'r':
            resumeRecordedSong();
            return PassResult::NextPass;
        case 'g':
            nextGainMode();
            drawNotice();
            return PassResult::NextPass;
        case 'q':
            Quit();
        default:
            break;
    }
    if (key == 'M') {
        nextSong();
    } else if (key == 'K') {
        previousSong();
    }
    return PassResult::NextPass;
}

}  // namespace

void Pause() {
    if (!S.trackOpen) {
        return;
    }
    sendChecked("pause MP3_Device");
    showPaused();
    waitForResumeKey();
    gotoxy(1, kStatusRow);
    clreol();
    std::printf(" Playing -> %s ", S.Label);
    Resume();
}

void drawMainScreen() {
    clrscr();
    textcolor(7);
    gotoxy(18, 1);
    std::printf("%s", kProductTitle);
    gotoxy(18, 2);
    std::printf("MP3 player for windows (95,98,XP)");
    gotoxy(1, 5);
    std::printf(
        " P = Play\n S = Stop\n W = Pause\n -> = Next Song\n <- = Prev Song\n"
        " L = Load Song(s)\n Q = Quit");
    gotoxy(1, 20);
    std::printf(" TotalSong = %d", S.TotalSong);
    gotoxy(1, 15);
    std::printf(" Enter your choice: ");
    textcolor(12);
    gotoxy(39, 4);
    std::printf(" Play List");
    textcolor(7);
    if (S.TotalSong > kSlotsPerPage) {
        textcolor(15);
        gotoxy(25, 15);
        std::printf("Press (+) to next Play List or (-) to prev Play List");
        textcolor(7);
    }
    max_len = S.MAX;
    printPageNumber();
    drawPlaylist();
    drawResumeOffer();
}

void redrawMainScreen() {
    drawMainScreen();
    GetSongLength();
    drawUserName();
    drawNotice();
}

PassResult runPass() {
    if (conioTakeResize()) {
        conioRequireSize();
        return PassResult::ReturnToMainScreen;
    }
    remoteTick();
    // An event during this pass (the track's end) ends its idle wait too.
    const unsigned events = conioEventCount();
    StatSong();
    GetSongLength();
    if (!S.isPlay) {
        advanceAfterTrackEnd();
    }
    drawUserName();
    if (!_kbhit()) {
        if (conioEventCount() == events) {
            sleepUntilKey(kIdleMilliseconds);
        }
        drawStatusLine();
        drawNotice();
        return PassResult::NextPass;
    }
    // The offer of the last run's point stands until a key starts a song.
    const int songStarts = S.songStarts;
    const PassResult result = handleKey(static_cast<char>(_getch()));
    if (S.songStarts != songStarts) {
        withdrawResumeOffer();
    }
    return result;
}

void Usage() {
    while (true) {
        // The times and the user name come with the rest of the screen, not
        // after the first pass's flash of the playing row.
        redrawMainScreen();
        while (runPass() == PassResult::NextPass) {
        }
    }
}
