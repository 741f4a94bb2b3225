// The speed and position dialogs of the main screen. Each takes a number in
// the line input field while the track plays on, and closes when the track
// ends, on Esc, or once the value has been sent.
#pragma once

// Sets the playback speed, typed as a percentage of the normal speed.
void Speed();
// Makes the song that plays jump to a position, typed in whole seconds.
void Position();
