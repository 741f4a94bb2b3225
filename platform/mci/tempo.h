// Playback speed: a tempo change that keeps the pitch (SoundTouch). At the
// normal speed the frames pass through untouched, which costs nothing.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

namespace mci {

// Speeds are in thousandths of the normal speed.
constexpr int kNormalSpeed = 1000;
constexpr int kMinSpeed = 100;
constexpr int kMaxSpeed = 2000;

class TempoStage {
  public:
    TempoStage(long rate, int channels, int speed);
    ~TempoStage();
    TempoStage(const TempoStage&) = delete;
    TempoStage& operator=(const TempoStage&) = delete;

    // Hands decoded frames in.
    void put(const float* frames, std::size_t count);
    // Marks the end of the input so that the frames held back come out.
    void finish();
    // Takes out up to maxFrames frames into out; returns how many.
    std::size_t take(float* out, std::size_t maxFrames);

    // Source frames per output frame.
    double ratio() const { return speed_ / static_cast<double>(kNormalSpeed); }

  private:
    int channels_;
    int speed_;
    std::unique_ptr<soundtouch::SoundTouch> stretch_;  // null at the normal speed
    std::vector<float> passed_;                        // frames waiting when bypassed
    std::size_t passedRead_ = 0;                       // frames of passed_ already taken
};

}  // namespace mci
