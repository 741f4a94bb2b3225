// The user's own state, kept from one run to the next in one small file
// (platform/statefile): the volume and the modes of play, and for each of
// the most recent music folders the song that played there last and where.
#pragma once

#include <cstddef>

#include "player/state.h"

constexpr int kResumeFolders = 100;            // folders whose point is kept
constexpr std::size_t kFolderPathSize = 4096;  // an absolute path and its zero
// Room for the largest file that this version writes.
constexpr std::size_t kUserStateBytes = 512 * 1024;

struct ResumePoint {
    char folder[kFolderPathSize];  // the music folder's absolute path
    Cell name;                     // display name of the song
    unsigned seconds;              // its position
};

struct UserState {
    int volume;                          // thousandths of full
    int shuffle;                         // 0 or 1
    int repeatMode;                      // kRepeatFolder, kRepeatSong or kRepeatOff
    int notices;                         // 0 or 1
    int gainMode;                        // kGainOff to kGainAuto
    int count;                           // resume points held
    ResumePoint points[kResumeFolders];  // the most recent first
};

// Empties state: full volume, the modes of a first start, no points.
void clearUserState(UserState* state);

// Reads a file's bytes, which may be anything. False, with state cleared,
// when they are not a file of this version or the one before it, whole and
// sound.
bool parseUserState(const char* bytes, std::size_t size, UserState* state);
// Writes the file's bytes into out; their count, or 0 when they do not fit.
std::size_t formatUserState(const UserState& state, char* out, std::size_t size);

// The file's state; cleared when it is missing, damaged, unreadable or of
// another version.
void readUserState(UserState* state);
// Replaces the file. False when its folder cannot be made or written, which
// is no error of the player.
bool writeUserState(const UserState& state);

// The point recorded for folder, or null.
const ResumePoint* findResumePoint(const UserState& state, const char* folder);
// Records the point of folder as the most recent, in place of the one it
// had; the least recent point goes when all places are taken.
void putResumePoint(UserState* state, const char* folder, const char* name, unsigned seconds);
