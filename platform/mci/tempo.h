// Playback speed: a tempo change that keeps the pitch (SoundTouch). The
// engine keeps one stage for the output's format and restarts it at every
// change of speed; at the normal speed the engine leaves it out of the path.
#pragma once

#include <cstddef>
#include <memory>

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
    TempoStage(long rate, int channels);
    ~TempoStage();
    TempoStage(const TempoStage&) = delete;
    TempoStage& operator=(const TempoStage&) = delete;

    // Drops what the stage holds and goes on at speed from the next frame
    // put.
    void restart(int speed);
    int speed() const { return speed_; }
    // Source frames per output frame.
    double ratio() const { return speed_ / static_cast<double>(kNormalSpeed); }

    void put(const float* frames, std::size_t count);
    // Lets the frames held back come out, padded with silence: for the end
    // of what plays.
    void finish();
    // Takes out up to maxFrames frames into out; returns how many.
    std::size_t take(float* out, std::size_t maxFrames);

  private:
    int speed_ = kNormalSpeed;
    std::unique_ptr<soundtouch::SoundTouch> stretch_;
};

}  // namespace mci
