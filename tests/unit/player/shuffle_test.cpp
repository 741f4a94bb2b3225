// The shuffle's order over many rounds, as the player walks it: every song
// once per round, a new order each round, no song twice across the seam,
// and songs the listener picks counted as played.
#include "player/shuffle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

using Round = std::vector<int>;

ShuffleOrder order;  // as large as the catalogue: not on the stack

// The songs of one round as the order gives them, from the one that plays.
Round playRound(int count) {
    Round round{order.songs[order.at]};
    while (!atEndOfShuffleRound(order)) {
        round.push_back(nextShuffledSong(order));
    }
    EXPECT_EQ(static_cast<int>(round.size()), count);
    return round;
}

bool eachOnce(Round round, int count) {
    std::sort(round.begin(), round.end());
    for (int k = 0; k < count; ++k) {
        if (round[static_cast<std::size_t>(k)] != k) {
            return false;
        }
    }
    return static_cast<int>(round.size()) == count;
}

TEST(Shuffle, EverySongOncePerRoundANewOrderEachRoundAndNoRepeatAtTheSeam) {
    for (const int count : {1, 2, 3, 12, 5000}) {
        SCOPED_TRACE(count);
        beginShuffleRound(order, count, count - 1);
        EXPECT_EQ(order.songs[0], count - 1);  // the song that plays begins the round
        const int rounds = count == 5000 ? 5 : 400;
        std::set<Round> seen;
        std::set<int> firsts;
        Round last = playRound(count);
        for (int k = 0; k < rounds; ++k) {
            const int next = nextShuffledSong(order);
            ASSERT_TRUE(count == 1 || next != last.back()) << "round " << k;
            Round round = playRound(count);
            ASSERT_TRUE(eachOnce(round, count)) << "round " << k;
            seen.insert(round);
            firsts.insert(round.front());
            last = round;
        }
        if (count >= 3) {
            // Rounds differ; with 3 songs every order comes up, since each
            // allows four after its seam.
            EXPECT_GE(static_cast<int>(seen.size()), std::min(rounds * 9 / 10, 6));
        }
        if (count >= 3 && count <= 12) {
            EXPECT_EQ(static_cast<int>(firsts.size()), count);  // each song begins some round
        }
    }
}

TEST(Shuffle, PickedSongsCountAsPlayedAndBackRetracesTheRound) {
    for (int trial = 0; trial < 200; ++trial) {
        beginShuffleRound(order, 12, 0);
        Round played{0};
        played.push_back(nextShuffledSong(order));
        played.push_back(nextShuffledSong(order));
        const int pickedAhead = order.songs[7];  // not played yet
        pickShuffledSong(order, pickedAhead);
        played.push_back(pickedAhead);
        pickShuffledSong(order, played[1]);  // played already: it plays again
        EXPECT_EQ(previousShuffledSong(order), pickedAhead);
        EXPECT_EQ(previousShuffledSong(order), played[2]);
        EXPECT_EQ(nextShuffledSong(order), pickedAhead);
        EXPECT_EQ(nextShuffledSong(order), played[1]);
        const Round rest = playRound(12 - 3);  // from the song that plays on
        ASSERT_TRUE(eachOnce(Round(order.songs, order.songs + 12), 12)) << "trial " << trial;
        for (const int song : {0, played[2], pickedAhead}) {
            EXPECT_EQ(std::count(rest.begin(), rest.end(), song), 0) << "trial " << trial;
        }
    }
    beginShuffleRound(order, 12, 4);
    EXPECT_EQ(previousShuffledSong(order), 4);  // the first of a round stays
}

}  // namespace
