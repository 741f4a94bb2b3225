// The shuffle's order: every song of the folder once per round, in a random
// order that is new each round. The order doubles as the round's history:
// the songs before the one that plays are those played in it, so that going
// back retraces them and going on again replays them in the same order.
#pragma once

#include "player/state.h"

struct ShuffleOrder {
    int count;             // songs of the folder it was made for; 0 before the first round
    int at;                // position of the song that plays
    int songs[kMaxSongs];  // catalogue indices, positions 0 to count - 1
};

// Begins a round of count songs with song first, as the one that plays now;
// a song outside the folder (-1) lets the round begin anywhere.
void beginShuffleRound(ShuffleOrder& order, int count, int song);
// Whether the song that plays is the last of its round.
bool atEndOfShuffleRound(const ShuffleOrder& order);
// Moves on to the next song of the round, or after its last song to the
// first of a new round, which is never the song that ended the last one.
// Returns the song.
int nextShuffledSong(ShuffleOrder& order);
// Moves back to the song played before in the round and returns it; the
// first song of a round stays where it is.
int previousShuffledSong(ShuffleOrder& order);
// A song the listener picked plays now: it counts as played in the round,
// and the songs not yet played keep their order.
void pickShuffledSong(ShuffleOrder& order, int song);
