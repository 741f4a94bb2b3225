#include "platform/mci/tempo.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cstring>

namespace mci {

TempoStage::TempoStage(long rate, int channels, int speed) : channels_(channels), speed_(speed) {
    if (speed_ == kNormalSpeed) {
        return;
    }
    stretch_ = std::make_unique<soundtouch::SoundTouch>();
    stretch_->setSampleRate(static_cast<unsigned>(rate));
    stretch_->setChannels(static_cast<unsigned>(channels));
    stretch_->setTempo(ratio());
}

TempoStage::~TempoStage() = default;

void TempoStage::put(const float* frames, std::size_t count) {
    if (stretch_ != nullptr) {
        stretch_->putSamples(frames, static_cast<unsigned>(count));
        return;
    }
    if (passedRead_ == passed_.size() / channels_) {
        passed_.clear();
        passedRead_ = 0;
    }
    passed_.insert(passed_.end(), frames, frames + count * channels_);
}

void TempoStage::finish() {
    if (stretch_ != nullptr) {
        stretch_->flush();
    }
}

std::size_t TempoStage::take(float* out, std::size_t maxFrames) {
    if (stretch_ != nullptr) {
        return stretch_->receiveSamples(out, static_cast<unsigned>(maxFrames));
    }
    const std::size_t available = passed_.size() / channels_ - passedRead_;
    const std::size_t count = std::min(available, maxFrames);
    if (count == 0) {
        return 0;
    }
    std::memcpy(out, passed_.data() + passedRead_ * channels_, count * channels_ * sizeof(float));
    passedRead_ += count;
    return count;
}

}  // namespace mci
