// The file of the user's own state: $XDG_STATE_HOME/folderplay/state, or
// ~/.local/state/folderplay/state when that variable is unset, empty or not
// an absolute path. Only its place, reading and replacing are here; what it
// holds is the player's business.
#pragma once

#include <cstddef>

// Writes the file's path into out. False when no home folder is known or
// the path does not fit size bytes.
bool userStateFilePath(char* out, std::size_t size);

// Reads the whole file into buffer. The count read; -1 when it is missing,
// is not a regular file, cannot be read, or holds more than size bytes.
long readUserStateFile(char* buffer, std::size_t size);

// Replaces the file whole with size bytes (a temporary file beside it,
// renamed over it), making its folders first (private to the user). A
// symbolic link in its place stays, and the file it leads to is replaced.
// False when that cannot be done; nothing is left half written.
bool writeUserStateFile(const char* bytes, std::size_t size);
