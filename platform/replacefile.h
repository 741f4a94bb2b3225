// Replacing a file whole: the new content is written to a temporary file
// beside it and renamed over it, so that a reader finds either the old file
// or the new one, never a part of either.
#pragma once

#include <cstdio>

struct ReplacementFile {
    FILE* stream = nullptr;    // where the new content goes, until finished
    char tempName[4200] = {};  // the temporary file beside the file; empty when none
};

// Creates a temporary file for name (a bare name in the working directory,
// or a path) and opens it for binary writing. False, with errno set and nothing left
// behind, when it cannot be created.
bool createReplacement(const char* name, ReplacementFile* file);

// Flushes the content to the disk and closes the stream. False, with errno
// set, when a write, the flush or the close failed.
bool finishReplacement(ReplacementFile* file);

// Renames the finished temporary file over name. False, with errno set, when
// the rename failed; the temporary file is then still there.
bool installReplacement(ReplacementFile* file, const char* name);

// Whether name (a bare name in the working directory) may be replaced: true
// when nothing has that name or it is a regular file or a link; false, with
// errno EISDIR for a folder and EINVAL for any other kind, which is left alone.
bool mayReplace(const char* name);

// Removes name when mayReplace allows it (a link: the link itself): 0, also
// when nothing has that name; otherwise -1 with errno set.
int removeReplaceable(const char* name);

// Closes the stream if it is open and removes the temporary file if there is
// one. Safe to call on a file that was installed or never created.
void discardReplacement(ReplacementFile* file);
