// Desktop notices of song changes, "N" on and off (off until turned on). While
// on, each song that starts is named in one notice that takes the place of
// the last; a jump, a pause, a new volume or speed, or the same song started
// again, is no change of song.
#pragma once

// "N": turns the notices on or off, and says which on row 25.
void toggleNotices();

// The session bus has seen a new song start: names it in a notice, when the
// notices are on and the song plays.
void announceSongChange();
