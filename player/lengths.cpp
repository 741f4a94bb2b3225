#include "player/lengths.h"

// FIXME: nothing is measured yet; every length and the total stay zero.
void GetTotalTimeAllSong() {}

void GetTimeAddSong() {}

void GetTimeDelSong() {}
