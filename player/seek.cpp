#include "player/seek.h"

#include <algorithm>
#include <cstring>

#include "player/dialogs.h"
#include "player/state.h"
#include "player/track.h"
#include "tcconio/keyboard.h"

namespace {

struct SeekRun {
    bool open = false;
    long long milliseconds = 0;  // the steps so far, summed
    unsigned lastKeyAt = 0;      // GetTickCount() of its last key
    int songStart = 0;           // S.songStarts when it began: its song
};
SeekRun run;

// From where the song is heard now, through the position dialog's command:
// back past the start plays from its start, forward past the end plays from
// the end, which ends the song and lets the next follow as after any end. A
// song that no longer plays (stopped, ended, another song since the run
// began) does not jump.
void jump(const SeekRun& ended) {
    if (!S.trackOpen || S.songStarts != ended.songStart) {
        return;
    }
    char mode[kReplySize] = "";
    trackMode(mode);
    if (std::strcmp(mode, "playing") != 0) {
        return;
    }
    const long long target =
        std::clamp(trackPositionMs() + ended.milliseconds, 0LL, trackLengthMs());
    jumpWithinSong(target);
}

}  // namespace

long long seekStepOf(char key) {
    switch (key) {
        case '.':
            return kShortSeekMilliseconds;
        case ',':
            return -kShortSeekMilliseconds;
        case '>':
            return kLongSeekMilliseconds;
        case '<':
            return -kLongSeekMilliseconds;
        default:
            return 0;
    }
}

void addToSeekRun(long long milliseconds) {
    if (run.open && run.songStart != S.songStarts) {
        run = SeekRun{};
    }
    if (!run.open) {
        run.open = true;
        run.songStart = S.songStarts;
    }
    run.milliseconds += milliseconds;
    run.lastKeyAt = GetTickCount();
}

// A run whose song has ended or been left goes with it.
void seekTick() {
    if (run.open && run.songStart != S.songStarts) {
        run = SeekRun{};
    }
    if (run.open && GetTickCount() - run.lastKeyAt >= kSeekRunMilliseconds) {
        endSeekRun();
    }
}

void endSeekRun() {
    const SeekRun ended = run;
    run = SeekRun{};
    if (ended.open && ended.milliseconds != 0) {
        jump(ended);
    }
}

unsigned seekIdleWait(unsigned idleMilliseconds) {
    if (!run.open) {
        return idleMilliseconds;
    }
    const unsigned waited = GetTickCount() - run.lastKeyAt;
    return waited >= kSeekRunMilliseconds
               ? 0
               : std::min(idleMilliseconds, kSeekRunMilliseconds - waited);
}
