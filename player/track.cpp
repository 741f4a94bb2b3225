#include "player/track.h"

#include <cstdio>

#include "platform/mci/mci.h"
#include "player/state.h"

namespace {

constexpr char kOpen[] = "open %s type MPEGVideo alias MP3_Device";
constexpr char kPlay[] = "play MP3_Device notify";
constexpr char kPlayFrom[] = "play MP3_Device from %lld notify";
constexpr char kJump[] = "play MP3_Device from %s";
constexpr char kSpeed[] = "set MP3_Device speed  %s";
constexpr char kVolume[] = "setaudio MP3_Device volume to %d";
constexpr char kGain[] = "setaudio MP3_Device replaygain to %s";

// The track's own record: how often it was made to jump.
struct TrackRecord {
    unsigned jumps = 0;
};
TrackRecord track;

long long query(const char* command) {
    char reply[kReplySize] = "";
    if (!S.trackOpen) {
        return 0;
    }
    sendUnchecked(command, reply, sizeof reply);
    return millisecondsOf(reply);
}

}  // namespace

bool openTrack(const char* shortName) {
    char command[kCellSize + 64];
    std::snprintf(command, sizeof command, kOpen, shortName);
    if (mciSendString(command, nullptr, 0) != 0) {
        return false;
    }
    S.trackOpen = 1;
    return true;
}

bool startTrack(long long fromMs) {
    char command[64];
    if (fromMs > 0) {
        std::snprintf(command, sizeof command, kPlayFrom, fromMs);
    } else {
        std::snprintf(command, sizeof command, "%s", kPlay);
    }
    return mciSendString(command, nullptr, 0) == 0;
}

void stopTrack() {
    sendChecked("stop MP3_Device");
}

void pauseTrack() {
    sendChecked("pause MP3_Device");
}

void resumeTrack() {
    sendChecked("resume MP3_Device");
}

void closeTrack() {
    S.trackOpen = 0;
    sendChecked("close MP3_Device");
}

void trackMode(char (&reply)[kReplySize]) {
    reply[0] = 0;
    if (!S.trackOpen) {
        return;
    }
    sendChecked("status MP3_Device mode", reply, kReplySize);
}

void closeTrackQuietly() {
    sendUnchecked("close MP3_Device");
    S.trackOpen = 0;
}

void trackTimes(char (&length)[kReplySize], char (&position)[kReplySize]) {
    length[0] = 0;
    position[0] = 0;
    if (!S.trackOpen) {
        return;
    }
    sendUnchecked("status MP3_Device length", length, kReplySize);
    sendUnchecked("status MP3_Device position", position, kReplySize);
}

long long trackPositionMs() {
    return query("status MP3_Device position");
}

long long trackLengthMs() {
    return query("status MP3_Device length");
}

long long trackSpeed() {
    return query("status MP3_Device speed");
}

int jumpTrack(const char* milliseconds) {
    char command[kCellSize + 32];
    std::snprintf(command, sizeof command, kJump, milliseconds);
    const int result = mciSendString(command, nullptr, 0);
    if (result == 0) {
        ++track.jumps;
    }
    return result;
}

int setTrackSpeed(const char* thousandths) {
    char command[kCellSize + 32];
    std::snprintf(command, sizeof command, kSpeed, thousandths);
    return mciSendString(command, nullptr, 0);
}

bool valueRefused(int result) {
    return result == MCIERR_OUTOFRANGE || result == MCIERR_BAD_INTEGER ||
           result == MCIERR_PARAM_OVERFLOW;
}

unsigned trackJumps() {
    return track.jumps;
}

void setTrackVolume(int thousandths) {
    char command[64];
    std::snprintf(command, sizeof command, kVolume, thousandths);
    sendUnchecked(command);
}

void setTrackGain(const char* kind) {
    char command[64];
    std::snprintf(command, sizeof command, kGain, kind);
    sendUnchecked(command);
}

void trackGain(char (&reply)[kReplySize]) {
    reply[0] = 0;
    if (S.trackOpen) {
        sendUnchecked("status MP3_Device replaygain", reply, kReplySize);
    }
}
