// For tests only: lets the screen operations write to standard output as if it
// were a terminal of the given size, without touching the terminal's modes.
#pragma once

void conioPretendTerminal(int cols, int rows);
