// Short file names. Command strings are split at blanks, so songs are handed
// to the media-control layer by a name without blanks: the file name itself
// when it holds nothing the command parser treats specially and fits 79
// bytes, otherwise an 8.3-style alias such as "ABCDEF~1.MP3" that is unique
// in its folder and stable between runs. ResolveShortName turns an alias back
// into the file it stands for.
#pragma once

#include <cstddef>

// Writes the short form of longName (a file in the working directory) into
// shortName. Returns its length, or the size needed when size is too small
// (shortName untouched), or 0 when the file does not exist (errno set).
unsigned GetShortPathName(const char* longName, char* shortName, unsigned size);

// Resolves a name as given to the media-control layer: when a file of that
// name exists in the working directory, that name; otherwise when name is an
// alias made by GetShortPathName for a file there, that file's name. Returns
// true and writes the resolved name into out (bounded, terminated); false
// when neither exists or out is too small.
bool ResolveShortName(const char* name, char* out, std::size_t size);
