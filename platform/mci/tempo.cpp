#include "platform/mci/tempo.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cstring>

namespace mci {

TempoStage::TempoStage(long rate, int channels, int speed)
    : rate_(rate), channels_(channels), speed_(kNormalSpeed) {
    setSpeed(speed);
}

void TempoStage::setSpeed(int speed) {
    speed_ = speed;
    if (stretch_ == nullptr && speed_ == kNormalSpeed) {
        return;
    }
    if (stretch_ == nullptr) {
        // Frames that passed through untouched and wait to be taken stay
        // ahead of what the stretch gives.
        stretch_ = std::make_unique<soundtouch::SoundTouch>();
        stretch_->setSampleRate(static_cast<unsigned>(rate_));
        stretch_->setChannels(static_cast<unsigned>(channels_));
    }
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
    const std::size_t passed = takePassed(out, maxFrames);
    if (passed > 0 || stretch_ == nullptr) {
        return passed;
    }
    return stretch_->receiveSamples(out, static_cast<unsigned>(maxFrames));
}

std::size_t TempoStage::takePassed(float* out, std::size_t maxFrames) {
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
