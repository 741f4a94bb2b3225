// Song lengths and the folder's total time.
#pragma once

// Measures every song of the catalogue into number and the total into getlen,
// h2, m2 and s2.
void GetTotalTimeAllSong();
// Measures the songs that the recorded names do not know.
void GetTimeAddSong();
// Lists the recorded songs that are gone and takes them off the total.
void GetTimeDelSong();
