#include "player/resume.h"

#include <cstdio>
#include <cstring>

#include "platform/fs.h"
#include "platform/mci/mci.h"
#include "player/media.h"
#include "player/pages.h"
#include "player/state.h"
#include "player/track.h"
#include "player/userstate.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

constexpr int kOfferColumn = 25;
constexpr int kOfferRow = 22;
// Columns the offer may take: up to column 79, so that the terminal never
// wraps after the last one.
constexpr int kOfferWidth = 79 - kOfferColumn + 1;

// A point is written within this time of a change, and once the song has
// played on this far past what was written (which at a higher speed comes
// sooner): with whole seconds written and a pass's delay, a crash then
// finds a point less than 10 s before what was heard.
constexpr unsigned kRecordIntervalMs = 9000;
constexpr unsigned kRecordLagSeconds = 9;
constexpr int kSettings = 5;

// The file's state, read afresh before each use, so that nothing in it
// outlives a call: scratch, static only as it is too large for the stack.
UserState userState;

// What this player holds for the file: the settings it changed since its
// last write, and its folder's point.
struct Held {
    bool settingChanged[kSettings];
    bool hasPoint;
    char folder[kFolderPathSize];  // the point's music folder, absolute
    Cell name;                     // display name of its song
    unsigned seconds;              // and the position in it
    unsigned writtenSeconds;       // the position last written, or where its song started
    bool changed;                  // something above differs from the file's last write
    unsigned writtenAt;            // GetTickCount() of the last write, or of the start
};
Held held;

// The music folder as an absolute path, the key of its point. The working
// directory is the music folder once dirname is entered; when dirname is
// empty the music folder is the working directory already.
bool musicFolder(char (&folder)[kFolderPathSize]) {
    _chdir(S.dirname);
    const unsigned length = GetCurrentDirectory(sizeof folder, folder);
    return length > 0 && length < sizeof folder;
}

// Read afresh just before the write, so that what another player recorded
// meanwhile (its folder's point, a setting it changed) stays. A write that
// fails is not tried again until something changes once more.
void writeHeld() {
    readUserState(&userState);
    int* const fileField[kSettings] = {&userState.volume, &userState.shuffle, &userState.repeatMode,
                                       &userState.notices, &userState.gainMode};
    const int playerValue[kSettings] = {S.volume, S.shuffle, S.repeatMode, S.notices, S.gainMode};
    for (int k = 0; k < kSettings; ++k) {
        if (held.settingChanged[k]) {
            *fileField[k] = playerValue[k];
            held.settingChanged[k] = false;
        }
    }
    if (held.hasPoint) {
        putResumePoint(&userState, held.folder, held.name, held.seconds);
    }
    writeUserState(userState);
    held.changed = false;
    held.writtenAt = GetTickCount();
    held.writtenSeconds = held.seconds;
}

// The position of the held song, which is the track open while one is.
void notePosition(unsigned seconds) {
    if (held.hasPoint && seconds != held.seconds) {
        held.seconds = seconds;
        held.changed = true;
    }
}

int songIndexNamed(const char* name) {
    for (int k = 0; k < S.TotalSong; ++k) {
        if (std::strcmp(displayNameOf(k), name) == 0) {
            return k;
        }
    }
    return -1;
}

// The song's length as the media layer measures the file now: the cached
// one belongs to whatever file had its name at the last Q.
unsigned measuredSeconds(int song) {
    char query[kCellSize + 32];
    std::snprintf(query, sizeof query, "status %s length",
                  S.p_file[song / kSlotsPerPage][song % kSlotsPerPage]);
    char reply[kReplySize] = "";
    return mciSendString(query, reply, sizeof reply) == 0 ? secondsOf(reply) : 0;
}

// Where the song that plays stands now, in whole seconds.
unsigned resumePosition() {
    return wholeSeconds(trackPositionMs());
}

}  // namespace

void userSettingChanged(UserSetting which) {
    held.settingChanged[static_cast<int>(which)] = true;
    held.changed = true;
}

void takeUpUserState() {
    held = Held{};
    held.writtenAt = GetTickCount();
    readUserState(&userState);
    S.volume = userState.volume;
    S.shuffle = userState.shuffle;
    S.repeatMode = userState.repeatMode;
    S.notices = userState.notices;
    S.gainMode = userState.gainMode;
    char folder[kFolderPathSize];
    // No cache read (mm_time 0): the songs were measured anew.
    if (S.mm_time == 0 || !musicFolder(folder)) {
        return;
    }
    const ResumePoint* point = findResumePoint(userState, folder);
    const int song = point != nullptr ? songIndexNamed(point->name) : -1;
    if (song < 0 || point->seconds >= static_cast<unsigned>(S.number[song]) ||
        point->seconds >= measuredSeconds(song)) {
        return;
    }
    S.resumeOffered = 1;
    S.resumeSong = song;
    S.resumeSeconds = point->seconds;
}

void recordSongStart() {
    ++S.songStarts;
    char folder[kFolderPathSize];
    if (!S.trackOpen || !musicFolder(folder)) {
        return;
    }
    // Another folder's point (after L) is written before this one takes
    // its place.
    if (held.changed && held.hasPoint && std::strcmp(held.folder, folder) != 0) {
        writeHeld();
    }
    held.hasPoint = true;
    std::memcpy(held.folder, folder, sizeof folder);
    copyCell(held.name, S.Label);
    held.seconds = static_cast<unsigned>(S.playFromMs / 1000);
    held.writtenSeconds = held.seconds;
    held.changed = true;
}

void resumeTick() {
    if (!S.Control) {
        notePointNow();
    }
    if (!held.changed) {
        return;
    }
    const bool playedOnFar = held.seconds >= held.writtenSeconds + kRecordLagSeconds;
    if (GetTickCount() - held.writtenAt >= kRecordIntervalMs || playedOnFar) {
        writeHeld();
    }
}

void notePointNow() {
    if (S.trackOpen) {
        notePosition(resumePosition());
    }
}

void recordPointNow() {
    notePointNow();
    if (held.changed) {
        writeHeld();
    }
}

void drawResumeOffer() {
    if (!S.resumeOffered) {
        return;
    }
    char at[32];
    formatSongTime(at, sizeof at, S.resumeSeconds, S.resumeSeconds >= 3600);
    Cell name;
    copyCell(name, displayNameOf(S.resumeSong));
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
