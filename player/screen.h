// The main screen and its command loop.
#pragma once

// How long an idle pass of the command loop waits for a key; a wait that
// holds the loop (the pause) looks up as often.
constexpr unsigned kIdleMilliseconds = 100;

// The product's title line, shown at the top of the main screen.
extern const char* const kProductTitle;

// Draws the main screen and runs the command loop for the rest of the
// process. Returning to the main screen draws it anew and starts the loop
// from its top; the loop itself never ends.
[[noreturn]] void Usage();

// What one pass of the command loop asks for next.
enum class PassResult { NextPass, ReturnToMainScreen };

// Pauses the track, and holds the program until "w" is pressed; then resumes.
void Pause();

// Draws the main screen anew with everything a pass of the loop shows but the
// status line: on entering the main screen, and for a wait that holds the
// loop (the pause) when the terminal's size changed.
void redrawMainScreen();

// The pieces of Usage, for the tests.
void drawMainScreen();
PassResult runPass();
