// Taking up where the last run stopped. The song that plays and its position
// are recorded, by display name and in seconds, for the music folder at every
// change of song and at Quit; the next start in that folder offers them on
// row 22 until a song is chosen, and "R" (a command of the main screen) plays
// the song from there.
#pragma once

// At start, once the lengths are known: the volume of the last run, and the
// offer when the folder has a point whose song is still there and long
// enough, and whose lengths came from the cache files.
void takeUpUserState();

// Called by Play for every song it starts: records the song at the position
// it starts from. The first song of a run records nothing, so that the point
// it offers stands until the listener moves on.
void recordSongStart();

// Where the song that plays stands now, in whole seconds; 0 when none is
// open.
unsigned resumePosition();
// Records the song that played at Quit with that position.
void recordQuitPoint(unsigned seconds);

// Draws the offer, when there is one, on row 22 from column 25.
void drawResumeOffer();
// Takes the offer off the screen for good.
void withdrawResumeOffer();

// The settings the listener changes, kept in the state file beside the
// volume.
enum class UserSetting { Volume, Shuffle, Repeat, Notices, Gain };
// The player changed a setting: it is written, merged, at the next write.
void userSettingChanged(UserSetting which);
