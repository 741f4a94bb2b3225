// Plays an MP3 through the command strings on a silent output and prints
// the CPU time it took. With a clock rate of 0 the output does not wait, so
// a long track is played through the whole engine in a few seconds.
//
//   playback_cpu play FILE SPEED [CLOCKRATE [GAIN]]  ->  "cpu_seconds audio_seconds"
//   playback_cpu refuse FILE                         ->  "milliseconds code"
//
// GAIN is the ReplayGain kind it plays at: off, track or album.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/mci/audiosink.h"
#include "platform/mci/mci.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool send(const std::string& command, char* reply = nullptr) {
    const int code = mciSendString(command.c_str(), reply, reply != nullptr ? 128 : 0);
    if (code != 0) {
        char text[128];
        mciGetErrorString(code, text, sizeof text);
        std::fprintf(stderr, "%s: error %d: %s\n", command.c_str(), code, text);
    }
    return code == 0;
}

int play(const char* file, const char* speed, double clockRate, const char* gain) {
    mci::forceSilentOutput({clockRate});
    const double before = cpuSeconds();
    char reply[128] = "";
    if (!send(std::string("open \"") + file + "\" type MPEGVideo alias bench") ||
        !send(std::string("setaudio bench replaygain to ") + gain) ||
        !send(std::string("set bench speed ") + speed) || !send("status bench length", reply) ||
        !send("play bench")) {
        return 1;
    }
    const double audioSeconds = std::atoll(reply) / 1000.0;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!send("status bench mode", reply)) {
            return 1;
        }
        if (std::strcmp(reply, "playing") != 0) {
            break;
        }
    }
    send("close bench");
    std::printf("%.4f %.3f\n", cpuSeconds() - before, audioSeconds);
    return 0;
}

int refuse(const char* file) {
    mci::forceSilentOutput({});
    const auto start = std::chrono::steady_clock::now();
    const int code =
        mciSendString((std::string("open \"") + file + "\" alias bench").c_str(), nullptr, 0);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (code == 0) {
        mciSendString("close bench", nullptr, 0);
    }
    std::printf("%.3f %d\n", took.count(), code);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "play") == 0) {
        return play(argv[2], argv[3], argc >= 5 ? std::atof(argv[4]) : 0.0,
                    argc >= 6 ? argv[5] : "off");
    }
    if (argc == 3 && std::strcmp(argv[1], "refuse") == 0) {
        return refuse(argv[2]);
    }
    std::fprintf(stderr, "usage: %s play FILE SPEED [CLOCKRATE [GAIN]] | refuse FILE\n", argv[0]);
    return 2;
}
