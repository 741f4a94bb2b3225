// Shared between the screen operations, the terminal session and the wait
// for a large enough terminal; not for the player. Everything here lives in
// tcconio_screen.
#pragma once

// The size that the player's screens are laid out for.
constexpr int kConioNeededCols = 80;
constexpr int kConioNeededRows = 25;

// The bound on each wait for a key while the size matters: the SIGWINCH that
// announces a new size only marks it changed and does not end the wait (an
// interrupted wait goes on for the rest of its time), so the size is looked
// at again this often.
constexpr int kSizeLookMilliseconds = 250;

// The size of the terminal on standard output; false without a terminal
// there or when it does not tell its size.
bool conioTerminalSize(int* cols, int* rows);

// Size of the screen the operations write to: the pretended one in tests,
// otherwise the terminal on standard output. False when standard output is no
// terminal and nothing is pretended: then the screen operations do nothing.
bool conioScreenSize(int* cols, int* rows);

// Writes the SGR of the current attribute unconditionally, so that the
// terminal and the layer agree again after the terminal was reset.
void conioSendAttribute();

// Back to the state at program start: attribute 7. What the terminal holds is
// taken as unknown, so the next textcolor() sends its colours in any case.
void conioResetAttribute();
