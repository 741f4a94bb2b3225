// For tests only: lets the screen operations write to standard output as if it
// were a terminal of the given size, without touching the terminal's modes.
// Each call also sets the current attribute back to 7, as at program start, so
// that a test starts from a known state. A size of 0 x 0 ends the pretence.
#pragma once

void conioPretendTerminal(int cols, int rows);

// For tests only: makes the next conioTakeResize() report a change of the
// terminal's size, as a SIGWINCH would.
void conioPretendResize();

// For tests only: forgets the codes decoded and not taken, a byte kept back
// and that the input has ended, as when standard input is replaced, so that
// the decoder can read one byte stream after another in one process.
void conioForgetInput();
