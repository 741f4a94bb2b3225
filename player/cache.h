// The catalogue cache: length.txt, number.txt and names.txt in the start
// directory carry the songs' lengths and names from one run to the next.
#pragma once

// Obtains every song's length and the total time at start-up: from the cache
// files when all three are there and sound, measuring only the songs they do
// not know and listing the recorded songs that are gone; otherwise by
// measuring every song.
void readCacheFiles();

// Writes the three files for the catalogue of this session. Each replaces its
// previous version whole, and length.txt goes last: until it is in place the
// next start finds none and measures again, so that it never trusts files of
// two different sessions. Ends the program with status 1 and a line on stderr
// when a file cannot be written.
void write_data();
