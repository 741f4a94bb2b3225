// The title, artist and album that a song's file names itself, from its
// ID3v2 tag (versions 2.2 to 2.4) and its ID3v1 tag, read through libmpg123
// with a handle of its own. Only this unit knows of the library.
#pragma once

#include <cstddef>

constexpr std::size_t kTagTextSize = 128;  // 127 bytes and a zero

struct SongTags {
    // UTF-8, cut at a character's end to fit, zero-terminated; empty when the
    // file has no such tag. Not yet fit for a terminal: control characters
    // pass through as the tag holds them.
    char title[kTagTextSize];
    char artist[kTagTextSize];
    char album[kTagTextSize];
};

// Reads the tags of the file at path. A field of the ID3v2 tag is taken over
// the same field of the ID3v1 tag; the ID3v1 text is taken as UTF-8 where it
// is valid UTF-8 and as Windows-1252 otherwise, as taggers wrote it. Every
// field is empty when the file cannot be read or holds no tag. Nothing is
// printed.
void readSongTags(const char* path, SongTags* tags);
