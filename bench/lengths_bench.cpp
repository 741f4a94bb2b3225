// Times one way of getting at every file of a folder, several runs, and
// prints the median: the length query of the engine, or one of the floors
// it is compared with (opening each file and reading 8 KiB, or reading each
// whole file). The script bench/lengths runs it and prints the ratios.
//
//   lengths_bench MODE FOLDER [RUNS]
//   MODE: floor8k | floorwhole | measure | mci (only when built with mci)
//
// Output, one line: MODE files=N median_s=S per_s=R failures=F
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/mci/mp3length.h"
#ifdef LENGTHS_WITH_MCI
#include "platform/mci/mci.h"
#endif

namespace {

// Reads up to limit bytes of the file (all of it when limit is 0) in
// 64 KiB reads, the chunk the measurement itself uses. False if it fails.
bool readFile(const char* name, size_t limit) {
    static char buf[64 * 1024];
    int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    size_t want = limit != 0 ? limit : sizeof buf;
    ssize_t n;
    while ((n = read(fd, buf, want)) > 0 && limit == 0) {
    }
    close(fd);
    return n >= 0;
}

bool measureOne(const char* name) {
    mci::Mp3Facts facts;
    return mci::measureMp3(name, &facts) == 0 && facts.lengthMs > 0;
}

#ifdef LENGTHS_WITH_MCI
bool queryOne(const char* name) {
    char command[512];
    char reply[128] = "";
    std::snprintf(command, sizeof command, "status %s length", name);
    return mciSendString(command, reply, sizeof reply) == 0 && std::atol(reply) > 0;
}
#endif

using Probe = bool (*)(const char*);

bool floor8k(const char* name) {
    return readFile(name, 8 * 1024);
}
bool floorWhole(const char* name) {
    return readFile(name, 0);
}

Probe probeFor(const std::string& mode) {
    if (mode == "floor8k") {
        return floor8k;
    }
    if (mode == "floorwhole") {
        return floorWhole;
    }
    if (mode == "measure") {
        return measureOne;
    }
#ifdef LENGTHS_WITH_MCI
    if (mode == "mci") {
        return queryOne;
    }
#endif
    return nullptr;
}

std::vector<std::string> namesIn(const char* folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".mp3") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s floor8k|floorwhole|measure|mci FOLDER [RUNS]\n", argv[0]);
        return 2;
    }
    Probe probe = probeFor(argv[1]);
    if (probe == nullptr) {
        std::fprintf(stderr, "%s: mode %s is not available in this build\n", argv[0], argv[1]);
        return 2;
    }
    std::vector<std::string> names = namesIn(argv[2]);
    int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    if (names.empty() || chdir(argv[2]) != 0) {
        std::fprintf(stderr, "%s: no .mp3 files in %s\n", argv[0], argv[2]);
        return 2;
    }
    std::vector<double> seconds;
    int failures = 0;
    for (int run = 0; run <= runs; ++run) {  // run 0 warms the cache
        failures = 0;
        auto start = std::chrono::steady_clock::now();
        for (const auto& name : names) {
            failures += probe(name.c_str()) ? 0 : 1;
        }
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (run > 0) {
            seconds.push_back(took.count());
        }
    }
    std::sort(seconds.begin(), seconds.end());
    double median = seconds[seconds.size() / 2];
    std::printf("%s files=%zu median_s=%.6f per_s=%.0f failures=%d\n", argv[1], names.size(),
                median, static_cast<double>(names.size()) / median, failures);
    return failures == 0 ? 0 : 1;
}
