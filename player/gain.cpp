#include "player/gain.h"

#include <cstdio>

#include "player/resume.h"
#include "player/state.h"
#include "player/track.h"

namespace {

const char* modeName(int mode) {
    switch (mode) {
        case kGainTrack:
            return "track";
        case kGainAlbum:
            return "album";
        case kGainAuto:
            return "auto";
        default:
            return "off";
    }
}

// The gain kind the media layer applies: auto takes the album gain while
// songs play in folder order and the track gain while they are shuffled,
// since songs of one record then no longer follow each other.
const char* kindToSend() {
    if (S.gainMode == kGainAuto) {
        return S.shuffle ? "track" : "album";
    }
    return modeName(S.gainMode);
}

}  // namespace

void nextGainMode() {
    S.gainMode = S.gainMode == kGainAuto ? kGainOff : S.gainMode + 1;
    if (S.trackOpen) {
        setTrackGain(kindToSend());
    }
    userSettingChanged(UserSetting::Gain);
}

void sendGainMode() {
    if (S.trackOpen && S.gainMode != kGainOff) {
        setTrackGain(kindToSend());
    }
}

void gainNotice(char* text, std::size_t size) {
    if (size == 0) {
        return;
    }
    text[0] = '\0';
    if (S.gainMode == kGainOff) {
        return;
    }
    char applied[kReplySize];
    trackGain(applied);
    std::snprintf(text, size, "%s %s", modeName(S.gainMode), applied[0] != 0 ? applied : "no gain");
}
