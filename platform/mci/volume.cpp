#include "platform/mci/volume.h"

#include <algorithm>

namespace mci {

float gainOf(int volume) {
    const float fraction = static_cast<float>(std::clamp(volume, kSilentVolume, kFullVolume)) /
                           static_cast<float>(kFullVolume);
    return fraction * fraction * fraction;
}

void applyVolume(float* frames, std::size_t count, int channels, float gain) {
    if (gain == 1.0f) {
        return;
    }
    const std::size_t samples = count * static_cast<std::size_t>(std::max(channels, 0));
    for (std::size_t i = 0; i < samples; ++i) {
        frames[i] *= gain;
    }
}

}  // namespace mci
