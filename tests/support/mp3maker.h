// MP3 files for the tests, made with sox (the sound) and lame (the encoding).
#pragma once

#include <filesystem>
#include <string>

namespace mp3maker {

// Runs a shell command; one that fails fails the test, naming the command.
bool run(const std::string& command);

// Writes a WAV file of the sound that sox's synth arguments describe, at the
// given rate and channels; repeatable (-R), so that noise is the same on
// every run.
bool synthesize(const std::filesystem::path& wav, int rate, int channels, const std::string& synth);

// Encodes a WAV file into an MP3 file with the given lame options.
bool encode(const std::filesystem::path& wav, const std::filesystem::path& mp3,
            const std::string& options);

// An MP3 of a 440 Hz tone of the given length; its WAV source is made beside
// it and removed.
bool makeTone(const std::filesystem::path& mp3, double seconds, int rate, int channels,
              const std::string& options);

}  // namespace mp3maker
