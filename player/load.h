// The Load command of the main screen.
#pragma once

// Asks for another music folder; when one is given, the catalogue, the pages
// and the lengths are made anew from it and its first song plays. On Esc the
// song that plays goes on and nothing changes.
void LoadSongs();
