#include "mp3maker.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace mp3maker {

namespace {

std::string quoted(const std::filesystem::path& path) {
    std::string text = "'";
    for (const char c : path.string()) {
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return text + "'";
}

}  // namespace

bool run(const std::string& command) {
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << command;
    return status == 0;
}

bool synthesize(const std::filesystem::path& wav, int rate, int channels,
                const std::string& synth) {
    return run("sox -q -R -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " " +
               quoted(wav) + " synth " + synth);
}

bool encode(const std::filesystem::path& wav, const std::filesystem::path& mp3,
            const std::string& options) {
    return run("lame --quiet " + options + " " + quoted(wav) + " " + quoted(mp3));
}

bool makeTone(const std::filesystem::path& mp3, double seconds, int rate, int channels,
              const std::string& options) {
    std::filesystem::path wav = mp3;
    wav += ".wav";
    const bool made =
        synthesize(wav, rate, channels, std::to_string(seconds) + " sine 440 vol 0.3") &&
        encode(wav, mp3, options);
    std::error_code ignored;
    std::filesystem::remove(wav, ignored);
    return made;
}

}  // namespace mp3maker
