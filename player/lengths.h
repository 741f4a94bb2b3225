// Song lengths and the folder's total time.
#pragma once

// Measures every song of the catalogue into number and the total into getlen,
// h2, m2 and s2. A key pressed meanwhile ends the program with status 1.
void GetTotalTimeAllSong();
// Expects number and CompareNames to hold the mm_time songs recorded at the
// previous exit. Gives each song of the catalogue the recorded length of the
// recorded song with the same display name, measures the songs that no
// recorded one matches and those whose name more than one song shows, here
// or in the record, and sets the total to the sum of the catalogue's lengths.
void GetTimeAddSong();
// After GetTimeAddSong, lists the recorded songs that it matched with no
// song of the catalogue, and waits for a key; shows nothing when none is
// missing.
void GetTimeDelSong();

// Splits getlen into h2 (hours, wrapping at 24), m2 and s2.
void splitTotalTime();
