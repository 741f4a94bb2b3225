// The tags of the song that plays: read from its file when it starts, shown on
// row 17 from column 25 as "Artist - Title", and told to the session bus. The
// tags of other songs are never read.
#pragma once

// Called by Play for every song it opens: reads the tags of the song of slot
// num of the page shown, or forgets the last song's when started is false,
// and draws the row.
void takeTagsOfPlayingSong(bool started);

// Draws the row: "Artist - Title", the one of them that the song has, or
// nothing; cut to the screen's width.
void drawTagRow();

// The playing song's tags, with every control character and every byte that
// is not UTF-8 shown as "?"; empty when the song has no such tag.
const char* playingTitle();
const char* playingArtist();
const char* playingAlbum();

// "Artist - Title", "Title" or "Artist", or label when the song has neither:
// the line that names the song in a desktop notice.
void describePlayingSong(const char* label, char* out, unsigned size);
