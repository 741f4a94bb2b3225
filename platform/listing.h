// One reading of the working directory, shared by the directory search and
// the short names: each search reads the folder, and its aliases are made
// from that same reading; a name that an open search handed out is looked up
// without another look at the folder (at start on 5000 songs, one look at
// the folder per song would cost 5000 calls of statx).
#pragma once

#include <sys/types.h>
#include <time.h>

#include <memory>
#include <string>
#include <vector>

namespace listing {

// Identifies a directory and its state: a name is added, removed or renamed
// only with a new modification time. The birth time, where the file system
// keeps one, tells a new directory from a removed one whose inode it reuses.
struct DirectoryStamp {
    dev_t device = 0;
    ino_t inode = 0;
    timespec born{};
    timespec modified{};

    bool sameDirectory(const DirectoryStamp& other) const;
    bool sameState(const DirectoryStamp& other) const;
};

struct Entry {
    std::string name;
    unsigned char type;  // d_type: DT_REG, DT_LNK, DT_UNKNOWN, ...
};

struct Listing {
    DirectoryStamp stamp;
    // False when the directory changed in the clock tick in which it was
    // read: a second change in that tick would leave the same stamp, so the
    // listing serves the call that read it and no other.
    bool trusted = false;
    std::vector<Entry> entries;  // every entry but "." and ".."
};

// The working directory's entries: the last reading when the directory is
// the same and unchanged since, otherwise a new one (or always a new one
// when fresh is true, as every search asks). Null (errno set) when the
// directory cannot be read.
std::shared_ptr<const Listing> readWorkingDirectory(bool fresh = false);

// An open directory search vouches for the listing it hands out names from:
// while it is open, a short name asked for one of those names is answered
// from that listing. The search's caller works in the searched directory
// until it closes the search; a change of directory through _chdir ends
// every vouch at once.
void vouchFor(const std::shared_ptr<const Listing>& listing);
void withdraw(const Listing* listing);
void withdrawAll();
// The listing of the newest open search, or null.
std::shared_ptr<const Listing> vouchedListing();

}  // namespace listing
