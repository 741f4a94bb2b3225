// Stand-ins for the Windows runtime's directory search, working directory and
// user-name interfaces. Only what the player relies on is provided.
#pragma once

#include <cstdint>
#include <cstdio>

// One match of a directory search; name is the file name, zero-terminated.
struct _finddata_t {
    char name[256];
};

// Starts a search of the working directory. The only pattern form is "*.ext":
// the extension matches without regard to ASCII letter case; only regular
// files (after following links) match, and hidden names (leading ".") never
// do. Matches come in name order, compared without regard to ASCII letter
// case, ties in byte order. Returns a handle and the first match in data, or
// -1 with errno ENOENT when nothing matches, EINVAL for a pattern of another
// form, or the error of reading the directory. Every search reads the
// directory anew.
intptr_t _findfirst(const char* pattern, _finddata_t* data);
// The next match into data and 0; -1 when the search is exhausted (ENOENT)
// or the handle is not that of an open search (EINVAL).
int _findnext(intptr_t handle, _finddata_t* data);
// Ends a search and frees what it holds: 0, or -1 (EINVAL) for a handle that
// is not that of an open search.
int _findclose(intptr_t handle);

// Changes the working directory; -1 (errno set) on failure. An empty name
// fails and leaves the working directory where it is.
int _chdir(const char* path);

// The working directory as an absolute path into buffer. Returns its length;
// when it does not fit, the size needed (terminator included) and the buffer
// is left empty; 0 on failure (GetLastError tells why).
unsigned GetCurrentDirectory(unsigned size, char* buffer);

// The name of the effective user, from the user database (no environment
// variable is consulted), into buffer. On success returns non-zero and sets
// *size to the length including the terminator; on failure returns 0 and
// GetLastError tells why (ERANGE when it does not fit, *size then being the
// size needed; ENOENT when the user id has no entry).
int GetUserName(char* buffer, unsigned* size);

// The error number of the last failing call of this interface.
unsigned GetLastError();

// Files that the player reads and removes by name, such as path.txt: only a
// regular file (or a link to one) is read or removed. A folder, a FIFO or a
// device of that name is left alone and never opened, so a read cannot block.
//
// Opens name for reading in binary mode. Null when nothing has that name
// (errno ENOENT), when it is not a regular file (EINVAL), or with the
// system's reason when it cannot be opened.
std::FILE* fopenRegularFile(const char* name);
// Removes name when it is a regular file (a link: the link): 0; otherwise -1,
// with errno EINVAL when it is something else.
int removeRegularFile(const char* name);
