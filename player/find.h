// "F": finding a song of the folder by its name. A field on row 25 takes the
// typed text; each change shows the page of the first song whose display name
// holds it, letter case ignored, with that song's row marked, and Tab (or Down)
// goes on to the next such song, round the folder. Enter makes the command
// that plays the song found as its digit would; Esc shows the page shown
// before. Neither the song that plays nor the page played from changes while
// the field is open, only the rows drawn do; the field holds the keys as a
// dialog does, so that the bus's calls are refused meanwhile.
#pragma once

#include "player/commands.h"

// Whether the field is open: the main screen's keys go to findKey.
bool findIsOpen();

// "F": opens the field, empty.
void openFind();

// A key typed into the open field, and the command it makes: none, or after
// Enter on a song found, PlaySong with it (the field is then closed). Esc
// closes the field and draws the page shown before again.
Command findKey(int key);

// Draws the field and the page it shows anew: after the main screen was
// drawn anew, or the song changed, while the field is open.
void drawFind();
