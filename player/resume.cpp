#include "player/resume.h"

#include <cstdio>
#include <cstring>

#include "platform/fs.h"
#include "player/media.h"
#include "player/state.h"
#include "player/track.h"
#include "player/userstate.h"
#include "tcconio/tcconio.h"

namespace {

constexpr int kOfferColumn = 25;
constexpr int kOfferRow = 22;
// Columns the offer may take: up to column 79, so that the terminal never
// wraps after the last one.
constexpr int kOfferWidth = 79 - kOfferColumn + 1;

// The file's state, read afresh before each use, so that nothing in it
// outlives a call: scratch, static only as it is too large for the stack.
UserState userState;

// The music folder as an absolute path, the key of its point. The working
// directory is the music folder once dirname is entered; when dirname is
// empty the music folder is the working directory already.
bool musicFolder(char (&folder)[kFolderPathSize]) {
    _chdir(S.dirname);
    const unsigned length = GetCurrentDirectory(sizeof folder, folder);
    return length > 0 && length < sizeof folder;
}

// Read afresh before each write, so that the points another player recorded
// meanwhile for other folders stay.
void record(const char* name, unsigned seconds) {
    char folder[kFolderPathSize];
    if (name[0] == 0 || !musicFolder(folder)) {
        return;
    }
    readUserState(&userState);
    userState.volume = S.volume;
    putResumePoint(&userState, folder, name, seconds);
    writeUserState(userState);
}

int songNamed(const char* name) {
    for (int k = 0; k < S.TotalSong; ++k) {
        if (std::strcmp(S.p_List[k / kSlotsPerPage][k % kSlotsPerPage], name) == 0) {
            return k;
        }
    }
    return -1;
}

}  // namespace

void takeUpUserState() {
    readUserState(&userState);
    S.volume = userState.volume;
    char folder[kFolderPathSize];
    // No cache read (mm_time 0): the songs were measured anew.
    if (S.mm_time == 0 || !musicFolder(folder)) {
        return;
    }
    const ResumePoint* point = findResumePoint(userState, folder);
    const int song = point != nullptr ? songNamed(point->name) : -1;
    if (song < 0 || point->seconds >= static_cast<unsigned>(S.number[song])) {
        return;
    }
    S.resumeOffered = 1;
    S.resumeSong = song;
    S.resumeSeconds = point->seconds;
}

void recordSongStart() {
    ++S.songStarts;
    if (S.songStarts > 1) {
        record(S.Label, static_cast<unsigned>(S.playFromMs / 1000));
    }
}

unsigned resumePosition() {
    return wholeSeconds(trackPositionMs());
}

void recordQuitPoint(unsigned seconds) {
    record(S.Label, seconds);
}

void drawResumeOffer() {
    if (!S.resumeOffered) {
        return;
    }
    char at[32];
    formatSongTime(at, sizeof at, S.resumeSeconds, S.resumeSeconds >= 3600);
    Cell name;
    copyCell(name, S.p_List[S.resumeSong / kSlotsPerPage][S.resumeSong % kSlotsPerPage]);
    const int room =
        kOfferWidth - static_cast<int>(std::strlen("R = resume  at ") + std::strlen(at));
    cutUtf8(name, static_cast<std::size_t>(room));
    gotoxy(kOfferColumn, kOfferRow);
    textcolor(7);
    clreol();
    std::printf("R = resume %s at %s", name, at);
}

void withdrawResumeOffer() {
    if (!S.resumeOffered) {
        return;
    }
    S.resumeOffered = 0;
    gotoxy(kOfferColumn, kOfferRow);
    clreol();
}

// FIXME: only the volume is kept in the state file for now.
void userSettingChanged(UserSetting) {}
