// The three cache files as the player reads them at start-up, through its
// own reading code, beside a small catalogue whose songs the media fake
// measures.
//
// Input: one byte for the number of songs (0 to 9), one byte for each song
// that picks its display name among "Song 0000" to "Song 0015", so that
// names repeat; one byte for the size of length.txt and two (little-endian)
// for the size of number.txt; then the bytes of length.txt, number.txt and,
// all the rest, names.txt.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "guard.h"
#include "player/cache.h"
#include "player/catalogue.h"
#include "player/state.h"
#include "tests/unit/player/fakes.h"

namespace {

constexpr int kMostSongs = 9;
constexpr int kNames = 16;
// What the media fake gives as song k's length: not a length the files can
// have guessed, so a length that came from nowhere shows.
constexpr int kMeasuredBase = 1000;

struct Input {
    const std::uint8_t* at;
    std::size_t left;

    std::size_t take(std::size_t wanted, const std::uint8_t** bytes) {
        const std::size_t got = std::min(wanted, left);
        *bytes = at;
        at += got;
        left -= got;
        return got;
    }
    unsigned byte() {
        const std::uint8_t* b;
        return take(1, &b) == 1 ? *b : 0;
    }
};

void makeCatalogue(Input& in) {
    const int songs = static_cast<int>(in.byte() % (kMostSongs + 1));
    for (int k = 0; k < songs; ++k) {
        std::snprintf(S.NextSong[k], kCellSize, "S%04d.MP3", k);
        std::snprintf(S.LongFileName[k], kCellSize, "Song %04u.mp3", in.byte() % kNames);
        fake::media().fileLengths[S.NextSong[k]] = std::to_string((kMeasuredBase + k) * 1000);
    }
    S.TotalSong = songs;
    init();
}

// Returns the bytes written.
std::string writeFile(const char* name, Input& in, std::size_t size) {
    const std::uint8_t* bytes;
    const std::size_t got = in.take(size, &bytes);
    writeWhole(fuzzFolder() + "/" + name, bytes, got);
    return std::string(reinterpret_cast<const char*>(bytes), got);
}

// Whether number.txt holds the length anywhere in its 4-byte places.
bool recorded(const std::string& numbers, int seconds) {
    for (std::size_t at = 0; at + 4 <= numbers.size(); at += 4) {
        unsigned value = 0;
        for (int b = 3; b >= 0; --b) {
            value = value << 8 | static_cast<unsigned char>(numbers[at + b]);
        }
        if (value == static_cast<unsigned>(seconds)) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    resetPlayerState();
    fake::resetMedia();
    fake::resetKeyboard();
    copyCell(S.old_path, fuzzFolder().c_str());
    Input in{data, size};
    makeCatalogue(in);
    const std::size_t lengthSize = in.byte();
    const std::size_t numberSize = in.byte() | in.byte() << 8;
    writeFile("length.txt", in, lengthSize);
    const std::string numbers = writeFile("number.txt", in, numberSize);
    writeFile("names.txt", in, in.left);

    // Missing songs are listed until a key, which the script does not have.
    runGuarded([] { readCacheFiles(); });

    unsigned long long total = 0;
    for (int k = 0; k < S.TotalSong; ++k) {
        require(S.number[k] >= 0, "a negative length");
        // Each length was measured or recorded; none is made up.
        require(S.number[k] == kMeasuredBase + k || recorded(numbers, S.number[k]),
                "a length neither measured nor recorded");
        total += static_cast<unsigned>(S.number[k]);
    }
    require(S.getlen == std::min<unsigned long long>(total, 0x7fffffff),
            "a total that is not the sum of the lengths");
    return 0;
}
