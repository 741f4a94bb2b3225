// Playback speed: a tempo change that keeps the pitch (SoundTouch). At the
// normal speed the frames pass through untouched, with one copy, unless the
// stage came from a track played at another speed: SoundTouch then goes on
// at the normal tempo, so that the frames it holds back are not lost.
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
    // Marks the end of the input so that the frames held back come out,
    // padded with silence; only for the end of playing, never between tracks.
    void finish();
    // Changes the speed for what is put from now on.
    void setSpeed(int speed);
    // Takes out up to maxFrames frames into out; returns how many.
    std::size_t take(float* out, std::size_t maxFrames);

    // Source frames per output frame.
    double ratio() const { return speed_ / static_cast<double>(kNormalSpeed); }

  private:
    std::size_t takePassed(float* out, std::size_t maxFrames);

    long rate_;
    int channels_;
    int speed_;
    std::unique_ptr<soundtouch::SoundTouch> stretch_;  // null at the normal speed
    std::vector<float> passed_;                        // frames waiting when bypassed
    std::size_t passedRead_ = 0;                       // frames of passed_ already taken
};

}  // namespace mci
