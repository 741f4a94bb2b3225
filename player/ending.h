// The ways the player ends on a failure: the terminal is given back first, so
// that the text stays readable after the player's screen is gone, and the
// exit status is 1, as for every other end.
#pragma once

// Ends the program after printing word and the text of errno through perror.
[[noreturn]] void endWithError(const char* word);
// Ends the program after printing "mp3: " what detail on a line of its own.
[[noreturn]] void endWithMessage(const char* what, const char* detail);
