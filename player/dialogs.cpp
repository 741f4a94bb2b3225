#include "player/dialogs.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "player/ending.h"
#include "player/media.h"
#include "player/playback.h"
#include "player/resume.h"
#include "player/state.h"
#include "player/title.h"
#include "player/track.h"
#include "tcconio/input.h"
#include "tcconio/tcconio.h"

namespace {

constexpr int kDialogLength = 3;
constexpr int kFastestSpeed = 2 * kNormalSpeed;
// The end of the track closes a dialog within this time; and a dialog
// that waits for a key looks at the track, and at the terminal's size, at
// least this often.
constexpr int kEndCheckMs = 50;
constexpr int kLongestWaitMs = 250;

// What tells the two dialogs apart.
struct Dialog {
    const char* prompt;                  // at (1, 2); the field follows it
    const char* zeros;                   // appended to a text of two or three characters
    int divisor;                         // turns the completed text into the value as typed
    int (*send)(const char* completed);  // hands the completed text to the track
    const char* failWord;                // printed through perror when the command fails
    const char* notANumber;              // shown for a text that is not a whole number
    const char* refused;                 // shown for a value the media layer will not take
    const char* overLimit;               // shown, with the limit, for a value over it
    int (*limit)();                      // the largest value taken, as typed
};

// Typed in percent of the normal speed.
int speedLimit() {
    return kFastestSpeed * 100 / kNormalSpeed;
}

// The length of the track that plays, as the media layer measures it: the
// recorded length may be that of another file that had the same name.
int positionLimit() {
    return static_cast<int>(std::min<unsigned>(wholeSeconds(trackLengthMs()), INT_MAX));
}

const Dialog kSpeedDialog = {
    "Change speed: ",
    "0",
    10,
    setTrackSpeed,
    "error",
    "Speed must be a whole number, 100 is normal speed",
    "This speed cannot be played, 100 is normal speed",
    "Speed is large,maximum change of speed = %d",
    speedLimit,
};

const Dialog kPositionDialog = {
    "Enter value for position: ",
    "000",
    1000,
    jumpTrack,
    "Error",
    "Position must be a whole number of seconds",
    "The song cannot be played from this position",
    "Length is large,maximum change of length = %d",
    positionLimit,
};

FieldLayout layoutOf(const Dialog& dialog) {
    const int echoColumn = static_cast<int>(std::strlen(dialog.prompt)) + 1;
    return FieldLayout{kProductTitle, dialog.prompt, echoColumn, kDialogLength, false};
}

// The field's per-pass step: the dialog lasts only as long as the track
// plays. Until the track could end, even at the highest speed the dialog
// sets, the field may wait for a key without asking again; from then on it
// asks often enough to close the dialog as soon as the track has ended.
int untilTrackMayEnd() {
    resumeTick();
    StatSong();
    if (!S.isPlay) {
        return -1;
    }
    char length[kReplySize];
    char position[kReplySize];
    trackTimes(length, position);
    const long long left = millisecondsOf(length) - millisecondsOf(position);
    const long long wait = left / (kFastestSpeed / kNormalSpeed);
    return static_cast<int>(std::clamp<long long>(wait, kEndCheckMs, kLongestWaitMs));
}

bool wholeNumber(const FieldText& typed) {
    for (int k = 0; k < typed.count; ++k) {
        if (typed.text[k] < '0' || typed.text[k] > '9') {
            return false;
        }
    }
    return true;
}

enum class Answer { Done, AskAgain };

// Shows what is wrong with the value, at (20, 10), until a key is pressed;
// then the dialog asks again. A message that names the limit has a %d for it,
// which is replaced here: the message is text, never a format.
Answer askAgainAfter(const char* message, int limit = 0) {
    gotoxy(20, 10);
    if (const char* mark = std::strstr(message, "%d")) {
        std::printf("%.*s%d%s", static_cast<int>(mark - message), message, limit, mark + 2);
    } else {
        std::printf("%s", message);
    }
    waitForWholeKey();
    return Answer::AskAgain;
}

Answer askAndSend(const Dialog& dialog) {
    FieldText typed;
    const FieldOutcome outcome = InputField(layoutOf(dialog), &typed, untilTrackMayEnd);
    S.i = typed.count;
    if (outcome != FieldOutcome::Accepted) {
        return Answer::Done;
    }
    if (!wholeNumber(typed)) {
        return askAgainAfter(dialog.notANumber);
    }
    if (typed.count > 1) {
        std::strcat(typed.text, dialog.zeros);
    }
    const int limit = dialog.limit();
    if (std::atoi(typed.text) / dialog.divisor > limit) {
        return askAgainAfter(dialog.overLimit, limit);
    }
    S.err = dialog.send(typed.text);
    if (valueRefused(S.err)) {
        return askAgainAfter(dialog.refused);
    }
    if (S.err > 0) {
        endWithError(dialog.failWord);
    }
    return Answer::Done;
}

// The value as the completed text of the field would give it, within the
// same limit; false when it is over the limit or the media layer does not
// take it.
bool sendValue(const Dialog& dialog, long long value) {
    if (value < 0 || value / dialog.divisor > dialog.limit()) {
        return false;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%lld", value);
    return dialog.send(text) == 0;
}

void runDialog(const Dialog& dialog) {
    S.keysAt = KeysAt::Dialog;
    S.stop_flash = 1;
    while (askAndSend(dialog) == Answer::AskAgain) {
    }
    S.stop_flash = 0;
    S.keysAt = KeysAt::MainScreen;
}

}  // namespace

void Speed() {
    runDialog(kSpeedDialog);
}

void Position() {
    runDialog(kPositionDialog);
}

bool jumpWithinSong(long long milliseconds) {
    return sendValue(kPositionDialog, milliseconds);
}

bool setSpeed(long long thousandths) {
    return sendValue(kSpeedDialog, thousandths);
}
