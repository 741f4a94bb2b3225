// Paging of the playlist on the main screen. The page shown is also the page
// played from: its short names stand in NextSong entries 0 to 8.
#pragma once

// Shows the next page, unless the page shown is the last that holds songs.
// With p_count at -1 it shows page 0.
void p_NextList();
// Shows the previous page, unless page 0 is shown.
void p_PrevList();
// Shows the page that holds the song, as paging there shows it.
void showPageOf(int song);
// Turns to the next page after a page was played through. Past the last page
// that holds songs it shows page 0 instead, so that play never leaves the
// songs of the folder.
void AutoP_List();
// Draws the row last highlighted in the normal colour again.
void GetOldColor();

// Moves the cursor to the playlist row of a slot, noting the row in y.
void gotoPlaylistRow(int slot);
// The display name of a song, from the page tables: they hold the whole
// catalogue of the session, whereas entries 0 to 8 of LongFileName follow the
// page shown.
const char* displayNameOf(int song);
// Number of songs on a page: its slots up to the first empty name.
int songsOnPage(int page);
// Prints the playlist row of a slot of the page shown at the cursor.
void printPlaylistRow(int slot);
// Prints "[n]", the number of the page shown, over what stands there.
void printPageNumber();
