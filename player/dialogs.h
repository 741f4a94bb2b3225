// The speed and position dialogs of the main screen. Each takes a number in
// the line input field while the track plays on, and closes when the track
// ends, on Esc, or once the value has been sent.
#pragma once

// Sets the playback speed, typed as a percentage of the normal speed.
void Speed();
// Makes the song that plays jump to a position, typed in whole seconds.
void Position();

// What the two dialogs do with a value, without their fields: false, with
// nothing changed, for a value the dialog would refuse.
bool jumpWithinSong(long long milliseconds);
bool setSpeed(long long thousandths);
