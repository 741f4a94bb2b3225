// Taking up where the last run stopped, and the user's state file's writes.
// The song that plays and its position are held, by display name and in
// seconds, for the music folder; the next start in that folder offers them
// on row 22 until a song is chosen, and "R" (a command of the main screen)
// plays the song from there.
//
// The file is shared by every player the user runs. A player writes only
// what it changed itself (the settings it changed since its last write, its
// own folder's point), merged into what the file holds at that moment. It
// writes when what it holds changed: at most about every 9 s while a song
// plays, so that a crash loses no more than that; at once on a pause, a
// stop and every end of the player. Nothing is written while nothing plays.
#pragma once

// The settings beside the resume points that the file keeps.
enum class UserSetting { Volume, Shuffle, Repeat, Notices, Gain };

// The player changed a setting (its field of S holds the new value): it is
// written, merged, at the next write.
void userSettingChanged(UserSetting which);

// At start, once the lengths are known: the volume and the modes of the last
// run, and the offer when the folder has a point whose song is still there
// and longer than the point, and whose lengths came from the cache files.
void takeUpUserState();

// Called by Play for every song it tries: counts it and, when it started,
// holds the song at the position it starts from. Only the next write
// records it, so that a start followed by a crash leaves the last run's
// point as it was.
void recordSongStart();

// Each pass of the waits while the main screen, a dialog or the folder
// prompt has the keys: follows the position of the song that plays, and
// writes when it is time.
void resumeTick();
// Holds the position of the song that plays now, without writing; at an
// end of the player, before the sound stops.
void notePointNow();
// A pause, a stop, an end of the player: holds the position of the song
// that plays, if one does, and writes what changed since the last write.
void recordPointNow();

// Draws the offer, when there is one, on row 22 from column 25.
void drawResumeOffer();
// Takes the offer off the screen for good.
void withdrawResumeOffer();
