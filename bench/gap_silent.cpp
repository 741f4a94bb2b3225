// Song changes on the silent output, through the positions: plays the files
// one after another as the player does (open, play, the mode asked at the
// player's rhythm, close, the next) and prints, for each change, the time
// between one track's last frame heard and the next one's first frame heard,
// in milliseconds. A track's first frame is heard at the time now - position,
// read while it plays; its last at that start plus its length.
//
//   gap_silent notify|poll FILE...   ->  one line per change: "gap_ms"
//
// "notify" waits as the player does now, until the track's end signal or
// 400 ms (a flash and an idle wait); "poll" only sleeps those 400 ms.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/mci/audiosink.h"
#include "platform/mci/mci.h"

namespace {

using Clock = std::chrono::steady_clock;

double nowMs() {
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

std::string ask(const std::string& command) {
    char reply[128] = "";
    if (mciSendString(command.c_str(), reply, sizeof reply) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return reply;
}

// The player's pass: the flash's two waits and the idle wait.
void waitAPass(bool notify) {
    if (!notify) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return;
    }
#ifndef GAP_WITHOUT_NOTIFY
    pollfd event{mciNotifyDescriptor(), POLLIN, 0};
    if (poll(&event, 1, 400) > 0) {
        mciTakeNotify();
    }
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: gap_silent notify|poll FILE FILE...\n");
        return 2;
    }
    const bool notify = std::strcmp(argv[1], "notify") == 0;
    mci::forceSilentOutput({});
    std::vector<double> starts;
    std::vector<double> lengths;
    for (int k = 2; k < argc; ++k) {
        ask(std::string("open ") + argv[k] + " type MPEGVideo alias MP3_Device");
        ask(notify ? "play MP3_Device notify" : "play MP3_Device");
        lengths.push_back(std::atof(ask("status MP3_Device length").c_str()));
        std::vector<double> seen;
        while (ask("status MP3_Device mode") == "playing") {
            const double position = std::atof(ask("status MP3_Device position").c_str());
            if (position > 0) {
                seen.push_back(nowMs() - position);
            }
            waitAPass(notify);
        }
        ask("close MP3_Device");
        std::sort(seen.begin(), seen.end());
        starts.push_back(seen.empty() ? 0 : seen[seen.size() / 2]);
    }
    for (std::size_t k = 1; k < starts.size(); ++k) {
        std::printf("%.0f\n", starts[k] - (starts[k - 1] + lengths[k - 1]));
    }
    return 0;
}
