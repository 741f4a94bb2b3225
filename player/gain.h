// ReplayGain: songs at one loudness, from the gains that taggers write. "G"
// turns the mode in turn off -> track -> album -> auto -> off; off, the
// default, leaves every song as it is.
#pragma once

#include <cstddef>

// "G": the next mode. The open track takes it at once.
void nextGainMode();

// Tells the open track the mode. A track opens with its gain off, so
// nothing is sent while the mode is off: a run that never turns it on
// plays as without this feature.
void sendGainMode();

// The mode and the gain of the track now, for the notice line: "album -6.2
// dB", "track +2.1 dB (peak)" when the peak held it, "auto no gain" for a
// song without a gain; empty while the mode is off.
void gainNotice(char* text, std::size_t size);
