// Software volume: how a volume setting becomes a gain, and the scaling of
// the samples by it. Pure functions, so that every output, the silent one
// included, is scaled alike.
#pragma once

#include <cstddef>

namespace mci {

// Volumes are in thousandths of full: 0 is silence, 1000 the samples as
// decoded. Nothing goes above full, so scaling never clips.
constexpr int kSilentVolume = 0;
constexpr int kFullVolume = 1000;

// The gain for a volume: the cube of its fraction of full, so that equal
// steps of the setting sound about equally large (half the setting is about
// -18 dB). A volume outside 0..1000 counts as the nearer bound.
float gainOf(int volume);

// Scales count interleaved frames of channels samples each by gain in place.
// A gain of 1 leaves the samples untouched, bit for bit.
void applyVolume(float* frames, std::size_t count, int channels, float gain);

}  // namespace mci
