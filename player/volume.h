// The volume keys: "*" louder, "/" softer, in steps of a twentieth of full,
// from silence to full and never beyond. The media layer scales the samples
// by the cube of the volume's fraction of full.
#pragma once

constexpr int kVolumeStep = 50;  // thousandths of full: 5 %

void louder();
void softer();
// Sets the volume in thousandths of full, clamped to silence and full: the
// keys' steps and a volume asked for from the session bus both land here.
void setVolume(int volume);

// Tells the open track the volume. A track opens at full, so nothing is sent
// for full: the songs of a run that never changed the volume are opened and
// played as without this feature.
void sendVolume();
