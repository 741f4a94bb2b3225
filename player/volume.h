// The volume keys: "*" louder, "/" softer, in steps of a twentieth of full,
// from silence to full and never beyond, and the notice line at (50, 19)
// that shows the audio output and the volume. The media layer scales the
// samples by the cube of the volume's fraction of full.
#pragma once

#include "player/state.h"

constexpr int kVolumeStep = kFullVolume / 20;

void louder();
void softer();
// Sets the volume (0 to kFullVolume), clamped to silence and full: the keys'
// steps and a volume asked for from the session bus both land here.
void setVolume(int volume);

// Tells the open track the volume. A track opens at full, so nothing is sent
// for full: the songs of a run that never changed the volume are opened and
// played as without this feature.
void sendVolume();

// Prints the notice line: the audio output and the volume.
void drawNotice();
