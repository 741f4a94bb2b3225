#include "player/volume.h"

#include <algorithm>
#include <cstdio>

#include "platform/mci/mci.h"
#include "player/gain.h"
#include "player/resume.h"
#include "player/state.h"
#include "player/track.h"
#include "tcconio/tcconio.h"

namespace {

// The notice stands at column 50, or one blank after the total time where a
// total of ten thousand hours or more reaches that far.
int noticeColumn() {
    constexpr int kTotalColumn = 25;
    char total[48];
    const int width =
        std::snprintf(total, sizeof total, "Total Time -> %02u:00:00", S.getlen / 3600);
    return std::max(50, kTotalColumn + width + 1);
}

}  // namespace

void setVolume(int volume) {
    volume = std::clamp(volume, 0, kFullVolume);
    if (volume == S.volume) {
        return;
    }
    S.volume = volume;
    userSettingChanged(UserSetting::Volume);
    if (S.trackOpen) {
        setTrackVolume(S.volume);
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
    if (S.trackOpen && S.volume != kFullVolume) {
        setTrackVolume(S.volume);
    }
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
        std::printf("Vol %d%%, %s", S.volume * 100 / kFullVolume, gain);
    } else {
        std::printf("Audio: %s, %d%%", output, S.volume * 100 / kFullVolume);
    }
}
