// The exit sequence of the Quit command.
#pragma once

// Closes the track, shows the farewell, writes the cache files, pauses and
// ends the program with status 1.
[[noreturn]] void Quit();

// The first steps of Quit, for the tests: the track closed and the two
// farewell lines animated into place.
void showFarewell();
