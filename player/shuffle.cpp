#include "player/shuffle.h"

#include <algorithm>
#include <numeric>
#include <random>

namespace {

std::mt19937& randomness() {
    static std::mt19937 generator{std::random_device{}()};
    return generator;
}

// A number from first to last, each as likely.
int anyOf(int first, int last) {
    return std::uniform_int_distribution<int>(first, last)(randomness());
}

void shuffleAll(ShuffleOrder& order, int count) {
    order.count = count;
    order.at = 0;
    std::iota(order.songs, order.songs + count, 0);
    std::shuffle(order.songs, order.songs + count, randomness());
}

int positionOf(const ShuffleOrder& order, int song) {
    const int* found = std::find(order.songs, order.songs + order.count, song);
    return static_cast<int>(found - order.songs);
}

}  // namespace

void beginShuffleRound(ShuffleOrder& order, int count, int song) {
    shuffleAll(order, std::clamp(count, 0, kMaxSongs));
    if (song >= 0 && song < order.count) {
        std::swap(order.songs[0], order.songs[positionOf(order, song)]);
    }
}

bool atEndOfShuffleRound(const ShuffleOrder& order) {
    return order.at + 1 >= order.count;
}

int nextShuffledSong(ShuffleOrder& order) {
    if (!atEndOfShuffleRound(order)) {
        return order.songs[++order.at];
    }
    const int ended = order.songs[order.at];
    shuffleAll(order, order.count);
    // Swapping the ended song with any other position leaves every other
    // song equally likely to begin the round.
    if (order.count > 1 && order.songs[0] == ended) {
        std::swap(order.songs[0], order.songs[anyOf(1, order.count - 1)]);
    }
    return order.songs[0];
}

int previousShuffledSong(ShuffleOrder& order) {
    if (order.at > 0) {
        --order.at;
    }
    return order.songs[order.at];
}

void pickShuffledSong(ShuffleOrder& order, int song) {
    const int from = positionOf(order, song);
    if (from >= order.count || from == order.at) {
        return;
    }
    int* songs = order.songs;
    if (from < order.at) {
        // Played already in this round: it becomes the latest played.
        std::rotate(songs + from, songs + from + 1, songs + order.at + 1);
    } else {
        std::rotate(songs + order.at + 1, songs + from, songs + from + 1);
        ++order.at;
    }
}
