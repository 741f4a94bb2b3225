// The song catalogue: the scan of the music folder and its pages of nine.
#pragma once

// Lists the MP3 files of the music folder into the catalogue, in the order of
// the directory search. Ends the program when the folder holds none or more
// than the catalogue holds.
void GetAllSong();

// Cuts the display names in place and lays the catalogue out in pages.
void init();

// Cuts a file name in place to its display name: at most 50 bytes (never
// half a UTF-8 character), then nothing from its first "." on.
void cutDisplayName(char* name);
