// The music-folder prompt.
#pragma once

#include "player/state.h"

// Asks for a music folder and records it in path.txt, exactly as typed. Once
// a folder has been entered, dirname holds its full path, so that changing
// into it again works from any working directory. Returns 0 when a folder
// was accepted, -1 when the user left with Esc.
int enter_path();

// The full path of folder into full: folder itself when it is absolute,
// otherwise folder joined to base, the absolute directory it is relative to.
// False, with full untouched, when base is empty or the path does not fit a
// cell.
bool fullFolderPath(const char* folder, const char* base, Cell& full);
