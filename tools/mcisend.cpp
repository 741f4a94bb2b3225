// Sends media-control command strings and prints each reply, for trying the
// engine by hand: one command per argument, or else one per line of standard
// input. "wait N" sleeps N milliseconds, for scripting playback checks.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "platform/mci/mci.h"

namespace {

bool isWait(const std::string& line, long* ms) {
    if (line.rfind("wait ", 0) != 0) {
        return false;
    }
    char* end = nullptr;
    *ms = std::strtol(line.c_str() + 5, &end, 10);
    return end != line.c_str() + 5 && *end == '\0' && *ms >= 0;
}

// Returns false when the command failed.
bool send(const std::string& line) {
    std::printf("> %s\n", line.c_str());
    long ms = 0;
    if (isWait(line, &ms)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return true;
    }
    char reply[128];
    const int code = mciSendString(line.c_str(), reply, sizeof reply);
    const int error = errno;
    if (code != 0) {
        char text[256];
        mciGetErrorString(code, text, sizeof text);
        std::printf("error %d: %s (%s)\n", code, text, std::strerror(error));
        return false;
    }
    if (reply[0] != '\0') {
        std::printf("%s\n", reply);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("audio output: %s\n", mciAudioOutput());
    bool allGood = true;
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            allGood = send(argv[i]) && allGood;
        }
    } else {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty()) {
                allGood = send(line) && allGood;
            }
        }
    }
    return allGood ? 0 : 1;
}
