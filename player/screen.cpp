#include "player/screen.h"

#include <cstdio>

#include "player/commands.h"
#include "player/events.h"
#include "player/find.h"
#include "player/modes.h"
#include "player/pages.h"
#include "player/playback.h"
#include "player/remote.h"
#include "player/resume.h"
#include "player/seek.h"
#include "player/state.h"
#include "player/tags.h"
#include "player/title.h"
#include "player/volume.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

void drawPlaylist() {
    int count = songsOnPage(S.p_count);
    for (int slot = 0; slot < count; ++slot) {
        gotoPlaylistRow(slot);
        clreol();
        printPlaylistRow(slot);
    }
}

void drawUserName() {
    textcolor(7);
    gotoxy(2, 21);
    std::printf("User Name: ");
    std::printf("%s ", S.UserName);
}

void wrapToFirstPage() {
    showPageOf(0);
    S.num = -1;
    S.a_uto = 0;
}

// The track has run to its end: go on with the next slot, turning the page
// after the last slot of a page or after the song chosen with "9", and back
// to page 0 after the last song of the folder; unless the shuffle or the
// repeat mode chooses otherwise.
void advanceAfterTrackEnd() {
    if (advanceByModes()) {
        return;
    }
    if (S.p_count == S.MAX && S.p_List[S.p_count][S.num + 1][0] == 0) {
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

// Where the loop reads a key it first takes a command that waits from
// outside; a key becomes its command. The offer of the last run's point
// stands until a command starts a song.
PassResult takeOneCommand() {
    const int songStarts = S.songStarts;
    const Command command = commandWaiting() ? takeWaitingCommand()
                            : findIsOpen()   ? findKey(_getch())
                                             : commandForKey(_getch());
    const CommandResult result = runCommand(command);
    if (S.songStarts != songStarts) {
        withdrawResumeOffer();
    }
    return result.mainScreenAnew ? PassResult::ReturnToMainScreen : PassResult::NextPass;
}

// The pause holds the loop: nothing of the track is polled or drawn, and
// only W, or a call that stands for it, goes on. A terminal that changed its
// size meanwhile gets the main screen drawn anew.
PassResult runPausedPass() {
    if (conioTakeResize()) {
        conioRequireSize();
        redrawMainScreen();
        showPaused();
    }
    remoteTick();
    if (commandWaiting() || sleepUntilKey(kIdleMilliseconds)) {
        takeOneCommand();
    }
    return PassResult::NextPass;
}

}  // namespace

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
    printPageNumber();
    drawPlaylist();
    drawModes();
    drawTagRow();
    drawResumeOffer();
}

void redrawMainScreen() {
    drawMainScreen();
    GetSongLength();
    drawUserName();
    drawNotice();
    drawFind();
}

PassResult runPass() {
    if (S.keysAt == KeysAt::Paused) {
        return runPausedPass();
    }
    if (conioTakeResize()) {
        conioRequireSize();
        return PassResult::ReturnToMainScreen;
    }
    remoteTick();
    resumeTick();
    seekTick();
    // An event during this pass (the track's end) ends its idle wait too.
    const unsigned events = eventCount();
    StatSong();
    GetSongLength();
    if (!S.isPlay) {
        advanceAfterTrackEnd();
        drawFind();  // over the rows that the advance drew
    }
    drawUserName();
    if (!commandWaiting() && !_kbhit()) {
        if (eventCount() == events) {
            sleepUntilKey(seekIdleWait(kIdleMilliseconds));
        }
        drawStatusLine();
        drawNotice();
        drawModesIfChanged();
        return PassResult::NextPass;
    }
    return takeOneCommand();
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
