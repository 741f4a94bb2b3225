// Shuffle and repeat: how the next song is chosen when one ends and when
// Right or Left asks for it. "Z" turns the shuffle on and off; "T" steps the
// repeat mode through folder, song and off. Row 16 of the main screen names
// the modes that differ from the defaults.
#pragma once

// "Z", and a Shuffle set from the session bus.
void toggleShuffle();
void setShuffle(bool on);
// "T", and a LoopStatus set from the session bus.
void cycleRepeatMode();
void setRepeatMode(int mode);

// The track has ended by itself, or after a stop a key asks to go on: plays
// the song that the modes choose, or stops after the last song when repeat
// is off. False, with nothing done, when the folder's own order applies.
bool advanceByModes();
// Right and Left while the shuffle is on: the next song of its order, the
// song played before. False, with nothing done, when the shuffle is off.
bool nextSongByModes();
bool previousSongByModes();

// Told by Play of every song it starts, and by Stop.
void noteSongStarted();
void noteStopped();
// The folder was replaced: its order goes with it.
void forgetShuffleOrder();

// Draws row 16: the modes' names, empty with the defaults.
void drawModes();
// The same, only when a mode changed since row 16 was last drawn (from the
// bus, which changes them between the passes of the main screen).
void drawModesIfChanged();
