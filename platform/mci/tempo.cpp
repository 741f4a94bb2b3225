#include "platform/mci/tempo.h"

#include <soundtouch/SoundTouch.h>

namespace mci {

TempoStage::TempoStage(long rate, int channels)
    : stretch_(std::make_unique<soundtouch::SoundTouch>()) {
    stretch_->setSampleRate(static_cast<unsigned>(rate));
    stretch_->setChannels(static_cast<unsigned>(channels));
}

TempoStage::~TempoStage() = default;

void TempoStage::restart(int speed) {
    speed_ = speed;
    stretch_->clear();
    stretch_->setTempo(ratio());
}

void TempoStage::put(const float* frames, std::size_t count) {
    stretch_->putSamples(frames, static_cast<unsigned>(count));
}

void TempoStage::finish() {
    stretch_->flush();
}

std::size_t TempoStage::take(float* out, std::size_t maxFrames) {
    return stretch_->receiveSamples(out, static_cast<unsigned>(maxFrames));
}

}  // namespace mci
