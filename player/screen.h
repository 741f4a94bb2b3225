// The main screen and its command loop.
#pragma once

// How long an idle pass of the command loop waits for a key or an event; the
// passes of the pause wait as long.
constexpr unsigned kIdleMilliseconds = 100;

// Draws the main screen and runs the command loop for the rest of the
// process. Returning to the main screen draws it anew and starts the loop
// from its top; the loop itself never ends.
[[noreturn]] void Usage();

// What one pass of the command loop asks for next.
enum class PassResult { NextPass, ReturnToMainScreen };

// Draws the main screen anew with everything a pass of the loop shows but the
// status line: on entering the main screen, and in the pause when the
// terminal's size changed.
void redrawMainScreen();

// The pieces of Usage, for the tests.
void drawMainScreen();
PassResult runPass();
