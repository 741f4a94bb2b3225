// The length measurement of an MP3 file, over a file that holds the input.
#include <sys/mman.h>
#include <unistd.h>

#include "guard.h"
#include "platform/mci/mp3length.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One file for the whole run, emptied and filled again for each input.
    static const int fd = memfd_create("fuzz.mp3", MFD_CLOEXEC);
    require(fd >= 0, "cannot make a file in memory");
    require(ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size),
            "cannot fill the file");
    mci::Mp3Facts facts;
    if (mci::measureMp3File(fd, &facts).code != 0) {
        return 0;
    }
    require(facts.lengthMs >= 0 && facts.lengthSamples >= 0, "a negative length");
    require(facts.sampleRate >= 8000 && facts.sampleRate <= 48000, "an impossible sample rate");
    require(facts.channels == 1 || facts.channels == 2, "an impossible channel count");
    // Even the shortest frames (96 bytes for 1152 samples at 48 kHz, free
    // format aside) cannot carry more than this much sound in these bytes.
    require(facts.lengthSamples <= static_cast<long long>(size) * 1152,
            "more sound than the bytes can hold");
    return 0;
}
