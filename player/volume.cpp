#include "player/volume.h"

#include <algorithm>
#include <cstdio>

#include "player/media.h"
#include "player/resume.h"
#include "player/state.h"

namespace {

constexpr int kFull = 1000;

void tellTrack() {
    char command[64];
    std::snprintf(command, sizeof command, "setaudio MP3_Device volume to %d", S.volume);
    sendUnchecked(command);
}

}  // namespace

void setVolume(int volume) {
    volume = std::clamp(volume, 0, kFull);
    if (volume == S.volume) {
        return;
    }
    S.volume = volume;
    userSettingChanged(UserSetting::Volume);
    if (S.trackOpen) {
        tellTrack();
    }
}

// A volume between the steps (from the file) goes to the step beyond it.
void louder() {
    setVolume((S.volume / kVolumeStep + 1) * kVolumeStep);
}

void softer() {
    setVolume((S.volume + kVolumeStep - 1) / kVolumeStep * kVolumeStep - kVolumeStep);
}

void sendVolume() {
    if (S.trackOpen && S.volume != kFull) {
        tellTrack();
    }
}
