// Does no work of its own, only wakes at the rhythm a playing player keeps:
// the main loop's key polls (150 ms, 150 ms and 100 ms a pass) and the
// playback thread's refills of the silent output. Its CPU time is what those
// wake-ups cost on this machine, which a decode-only floor leaves out.
//
// Given a song, it is the floor of playing it with the player's screen: each
// wake of the main loop writes as much as the screen does then (one short
// update), and the other thread decodes the song through libmpg123 in real
// time, in the turns the silent output leaves the engine (0.65 s of audio
// every 0.65 s). Decoding in turns costs more than decoding flat out: each
// turn starts with the decoder's tables and the song's bytes out of cache.
#include <mpg123.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

namespace {

std::atomic<bool> stopping{false};

// The silent output fills to 0.9 s and then sleeps until 0.25 s are left.
constexpr auto kTurn = std::chrono::milliseconds(650);

// What the screen writes at one wake: the cursor to a row and a time.
constexpr char kScreenUpdate[] =
    "\x1b[20;25H\x1b[KCurrent Time = 00:01\x1b[19;25HTotal Time -> 00:01:30\x1b[23;1H\x1b[K"
    "\x1b[0;92m Playing -> chords-192k \x1b[0m";

void waitForKey(int ms, bool draw) {
    pollfd key{STDIN_FILENO, POLLIN, 0};
    if (poll(&key, 1, ms) > 0) {
        char drop[64];
        (void)!read(STDIN_FILENO, drop, sizeof drop);
    }
    if (draw) {
        (void)!write(STDOUT_FILENO, kScreenUpdate, sizeof kScreenUpdate - 1);
    }
}

void refillRhythm() {
    auto next = std::chrono::steady_clock::now();
    while (!stopping.load()) {
        next += kTurn;
        std::this_thread::sleep_until(next);
    }
}

// Opens song for 32-bit float frames, as the engine decodes.
bool openSong(mpg123_handle* handle, const char* song) {
    mpg123_close(handle);
    mpg123_format_none(handle);
    mpg123_format(handle, 44100, MPG123_STEREO, MPG123_ENC_FLOAT_32);
    return mpg123_open(handle, song) == MPG123_OK;
}

// Decodes song in real time, a turn at a time, over and over.
void decodeRhythm(const char* song) {
    mpg123_init();
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle == nullptr) {
        return;
    }
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    if (!openSong(handle, song)) {
        stopping.store(true);
    }
    // A batch of the engine's size: four MPEG frames of stereo float.
    std::vector<unsigned char> out(4608 * 2 * sizeof(float));
    auto next = std::chrono::steady_clock::now();
    double decoded = 0;  // seconds of audio
    double due = 0;
    while (!stopping.load()) {
        due += std::chrono::duration<double>(kTurn).count();
        while (decoded < due && !stopping.load()) {
            std::size_t bytes = 0;
            const int result = mpg123_read(handle, out.data(), out.size(), &bytes);
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(handle, &rate, &channels, &encoding);
            if (rate > 0 && channels > 0) {
                decoded += static_cast<double>(bytes) /
                           (static_cast<double>(rate) * channels * mpg123_encsize(encoding));
            }
            if (result != MPG123_OK && bytes == 0 && !openSong(handle, song)) {
                stopping.store(true);
            }
        }
        next += kTurn;
        std::this_thread::sleep_until(next);
    }
    mpg123_delete(handle);
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGTERM, [](int) { stopping.store(true); });
    const char* song = argc > 1 ? argv[1] : nullptr;
    std::thread other =
        song != nullptr ? std::thread(decodeRhythm, song) : std::thread(refillRhythm);
    (void)!write(STDOUT_FILENO, "ready\n", 6);
    while (!stopping.load()) {
        waitForKey(150, song != nullptr);
        waitForKey(150, song != nullptr);
        waitForKey(100, song != nullptr);
    }
    other.join();
    return 0;
}
