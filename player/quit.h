// The exit sequence of the Quit command.
#pragma once

// Closes the track, shows the farewell, writes the cache files, pauses and
// ends the program with status 1.
[[noreturn]] void Quit();
// Ctrl+C, a closed terminal, SIGTERM: the point of the song that plays and
// what else changed go to the state file, the sound stops, and the player
// ends with status 1. The cache files are Q's alone.
[[noreturn]] void endOnSignal();
// The same without the end: for the end the console layer makes when the
// terminal has gone.
void recordAtEnd();

// The first steps of Quit, for the tests: the track closed and the two
// farewell lines animated into place.
void showFarewell();
