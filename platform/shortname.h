// Short file names. Command strings are split at blanks, so songs are handed
// to the media-control layer by a name without blanks: the file name itself
// when it holds nothing the command parser treats specially and fits 79
// bytes, otherwise an 8.3-style alias such as "ABCDEF~1.MP3" that is unique
// in its folder and stable between runs. ResolveShortName turns an alias back
// into the file it stands for.
//
// A name is plain, and handed on as it is, when it has 1 to 79 bytes and
// each is printable ASCII other than '"' and '\''. Blanks, control bytes,
// DEL, quotes and every byte above 0x7F make an alias: a parser reading the
// command through a single-byte locale could take some of those for blanks.
//
// An alias is two letters or digits of the name (uppercased, '_' when the
// name has fewer), four hex digits of a fixed hash of the whole name, "~n",
// and the name's extension, uppercased and cut to three letters or digits:
// "Café del Río.mp3" -> "CAC5F7~1.MP3".
//
// Within a run, an alias names the same file for as long as that file
// exists, whatever is added to or removed from its folder: a name keeps the
// alias it was given, and an alias once given is never given to another
// name, even after its file is gone (it then resolves to nothing, or to a
// real file of exactly that name). A name that needs an alias gets the
// lowest number that its letters and hash have not been given yet and that
// is not the name of a real entry of the folder; names met together are
// numbered in byte order. So a folder read for the first time in a run
// always gives the same aliases, as in every other run; a file added while
// the player runs may get another number than it would in a later run.
//
// The aliases of a folder are kept in a table per directory, read once and
// read again when the directory's modification time changes; the aliases
// given are kept for the run. Each call looks at the directory's time, except
// for a name that an open directory search of the working directory has
// listed: that name is answered from what the search read, so that a scan of
// 5000 songs asks the file system nothing per song. Such a search stops
// answering when it is closed or when _chdir leaves its directory.
#pragma once

#include <cstddef>

// Writes the short form of longName (an entry of the working directory) into
// shortName. Returns its length, or the size needed when size is too small
// (shortName untouched), or 0 (errno set) when the entry does not exist. A
// longName with a "/" is taken only when it is plain; it is then handed on
// as it is (EINVAL otherwise).
unsigned GetShortPathName(const char* longName, char* shortName, unsigned size);

// Resolves a name as given to the media-control layer: when a file of that
// name exists in the working directory, that name; otherwise when name is an
// alias made by GetShortPathName for a file there, that file's name. Returns
// true and writes the resolved name into out (bounded, terminated); false
// with errno ENOENT when neither exists, ENAMETOOLONG when out is too small.
bool ResolveShortName(const char* name, char* out, std::size_t size);
