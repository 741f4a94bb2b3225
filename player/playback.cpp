#include "player/playback.h"

#include <cstdio>
#include <cstring>

#include "platform/fs.h"
#include "player/events.h"
#include "player/gain.h"
#include "player/media.h"
#include "player/modes.h"
#include "player/remote.h"
#include "player/resume.h"
#include "player/state.h"
#include "player/tags.h"
#include "player/track.h"
#include "player/volume.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

// How long a song that could not be played stays named: long enough to be
// read while the next one plays.
constexpr unsigned kCannotPlayMilliseconds = 2000;
constexpr int kCannotPlayRow = 24;

// Opens and starts the track; false, with nothing left open, when the media
// layer refuses the file or cannot play it.
bool openAndStart() {
    if (!openTrack(S.NextSong[S.num])) {
        return false;
    }
    // A file without a single frame of audio would end as soon as it
    // started, and the song after it would start at once: a folder of such
    // files would be opened over and over without a pause. It cannot be
    // played, and is paced as such, once an idle pass.
    if (trackLengthMs() == 0) {
        CloseSong();
        return false;
    }
    sendVolume();
    sendGainMode();
    if (!startTrack(S.playFromMs)) {
        CloseSong();
        return false;
    }
    return true;
}

void reportCannotPlay() {
    copyCell(S.cannotPlayName, S.Label);
    S.cannotPlayShown = 1;
    S.cannotPlaySince = GetTickCount();
    drawStatusLine();
}

// An event (the track's end) cuts the flash short, as a key does, so that
// the next song follows at once.
void flashPlayingRow() {
    const unsigned events = eventCount();
    S.m_normal_text = S.num;
    textcolor(14);
    gotoxy(S.x, S.y[S.num]);
    clreol();
    sleepUntilKey(150);
    gotoxy(S.x, S.y[S.num]);
    std::printf("%d. %s", S.num + 1, S.Label);
    if (eventCount() == events) {
        sleepUntilKey(150);
    }
}

}  // namespace

void Play() {
    _chdir(S.dirname);
    if (S.num < 0) {
        S.num = 0;
    }
    copyCell(S.Label, S.p_List[S.p_count][S.num]);
    S.playingSong = S.p_count * kSlotsPerPage + S.num;
    bool started = openAndStart();
    if (S.Label[0] == 0) {
        copyCell(S.Label, S.LongFileName[0]);
    }
    takeTagsOfPlayingSong(started);
    if (!started) {
        reportCannotPlay();
    }
    recordSongStart();
    noteSongStarted();
    S.playFromMs = 0;
    remoteSongStarted();
}

void Stop() {
    if (S.trackOpen) {
        recordPointNow();
        stopTrack();
    }
    S.Control = 1;
    noteStopped();
}

void showPaused() {
    gotoxy(1, kStatusRow);
    clreol();
    std::printf(" Paused -> %s ", S.Label);
}

// Nothing to pause without a track: the keys stay with the main screen.
void Pause() {
    if (!S.trackOpen) {
        return;
    }
    pauseTrack();
    recordPointNow();
    showPaused();
    S.keysAt = KeysAt::Paused;
}

void Resume() {
    S.keysAt = KeysAt::MainScreen;
    gotoxy(1, kStatusRow);
    clreol();
    std::printf(" Playing -> %s ", S.Label);
    resumeTrack();
}

void CloseSong() {
    if (S.trackOpen) {
        closeTrack();
    }
}

void StatSong() {
    char reply[kReplySize];
    trackMode(reply);
    // While the page shown has no song in the playing slot there is no row
    // to flash, but the end of the track must still be noticed: otherwise
    // nothing plays on until a key.
    bool slotEmpty = S.p_List[S.p_count][S.num][0] == 0;
    if (slotEmpty) {
        S.m_null = 1;
    }
    if (std::strcmp(reply, "playing") == 0) {
        S.isPlay = 1;
        bool rowShown =
            !slotEmpty &&
            std::strcmp(S.Label, S.LongFileName[S.p_count * kSlotsPerPage + S.num]) == 0;
        if (!S.stop_flash && rowShown) {
            flashPlayingRow();
        }
    } else {
        S.isPlay = S.Control ? 1 : 0;
    }
}

void GetSongLength() {
    char lengthReply[kReplySize];
    char positionReply[kReplySize];
    trackTimes(lengthReply, positionReply);
    unsigned length = secondsOf(lengthReply);
    unsigned position = secondsOf(positionReply);
    bool withHours = length >= 3600 || position >= 3600;
    char lengthText[32];
    char positionText[32];
    formatSongTime(lengthText, sizeof lengthText, length, withHours);
    formatSongTime(positionText, sizeof positionText, position, withHours);

    textcolor(7);
    gotoxy(25, 19);
    // h2 wraps at 24 for the cache file; the screen shows every hour.
    std::printf("%s -> %02u:%02d:%02d", "Total Time", S.getlen / 3600, S.m2, S.s2);
    gotoxy(25, 20);
    clreol();
    std::printf("%s = %s", "Current Time", positionText);
    gotoxy(25, 18);
    clreol();  // the end time of a song of an hour or more is longer
    std::printf("%s = %s", "End Time", lengthText);
}

// The status line names the song that plays; a song that could not be
// played is named on the row below it, left free by the main screen, for
// about two seconds, so that a short next song is named from its start.
// While no track is open nothing plays, and the status line stays empty.
void drawStatusLine() {
    gotoxy(1, kStatusRow);
    clreol();
    if (S.Control) {
        std::printf(" Stoped -> %s ", S.Label);
    } else if (S.trackOpen) {
        textcolor(10);
        std::printf(" Playing -> %s ", S.Label);
    }
    if (!S.cannotPlayShown) {
        return;
    }
    gotoxy(1, kCannotPlayRow);
    clreol();
    if (GetTickCount() - S.cannotPlaySince >= kCannotPlayMilliseconds) {
        S.cannotPlayShown = 0;
        return;
    }
    textcolor(12);
    std::printf(" Cannot play -> %s ", S.cannotPlayName);
    textcolor(7);
}
