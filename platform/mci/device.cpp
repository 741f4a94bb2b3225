#include "platform/mci/device.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/mci/mci.h"
#include "platform/mci/threadsignals.h"

namespace mci {

namespace {

// Frames per step of the playback thread: one MPEG frame, about 26 ms at
// 44.1 kHz.
constexpr std::size_t kChunkFrames = 1152;

using Clock = std::chrono::steady_clock;
using DeviceQueue = OutputStage::DeviceQueue;

// An eventfd, made once and kept for the whole process.
int makeTrackEndEvent() {
    static const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return fd;
}

}  // namespace

int trackEndDescriptor() {
    return makeTrackEndEvent();
}

void signalTrackEnd() {
    const std::uint64_t one = 1;
    if (const int fd = makeTrackEndEvent(); fd >= 0) {
        (void)!::write(fd, &one, sizeof one);
    }
}

void takeTrackEnd() {
    std::uint64_t count = 0;
    if (const int fd = makeTrackEndEvent(); fd >= 0) {
        (void)!::read(fd, &count, sizeof count);
    }
}

Failure Device::open(const std::string& path, std::unique_ptr<Device>* device) {
    UniqueFd file;
    if (const Failure failure = openMp3(path.c_str(), &file); failure.failed()) {
        return failure;
    }
    Mp3Facts facts;
    if (const Failure failure = measureMp3File(file.get(), &facts); failure.failed()) {
        return failure;
    }
    device->reset(new Device(std::move(file), facts));
    return {};
}

Device::Device(UniqueFd file, const Mp3Facts& facts) : file_(std::move(file)), facts_(facts) {}

Device::~Device() {
    settleFinished();  // a track that ran to its end hands its output on
    halt();
    OutputStage::release(std::move(stage_));
}

long long Device::framesToMs(long long frames) const {
    const long rate = decoder_.rate() > 0 ? decoder_.rate() : facts_.sampleRate;
    return rate > 0 ? frames * 1000 / rate : 0;
}

Failure Device::play() {
    settleFinished();
    switch (mode_) {
        case Mode::kPlaying:
            return {};
        case Mode::kPaused:
            return resume();
        case Mode::kStopped:
            return start(ended_ ? 0 : restMs_);
    }
    return {};
}

Failure Device::playFrom(long long ms) {
    settleFinished();
    if (ms < 0 || ms > facts_.lengthMs) {
        return {MCIERR_OUTOFRANGE, ERANGE};
    }
    return start(ms);
}

Failure Device::pause() {
    settleFinished();
    if (mode_ == Mode::kPlaying) {
        holdAtHeardPosition();
        mode_ = Mode::kPaused;
    }
    return {};
}

Failure Device::resume() {
    settleFinished();
    return mode_ == Mode::kPaused ? start(restMs_) : Failure{};
}

Failure Device::stop() {
    settleFinished();
    if (mode_ == Mode::kPlaying) {
        holdAtHeardPosition();
    }
    mode_ = Mode::kStopped;
    return {};
}

Failure Device::setSpeed(int speed) {
    settleFinished();
    if (speed < kMinSpeed || speed > kMaxSpeed) {
        return {MCIERR_OUTOFRANGE, ERANGE};
    }
    speed_ = speed;
    // The new speed takes over from what is heard now.
    if (mode_ == Mode::kPlaying && speed_ != runSpeed_) {
        return start(livePositionMs());
    }
    return {};
}

// The stage's gain follows at once: what waits in its queue is scaled as it
// goes to the device.
void Device::setVolume(int volume) {
    volume_.store(volume, std::memory_order_relaxed);
    if (stage_ != nullptr) {
        stage_->setGain(gainOf(volume));
    }
    // The cap depends on the volume.
    sourceGain_.store(gain_.setVolume(gainOf(volume)), std::memory_order_relaxed);
}

// FIXME: the volume is applied as frames go to the device, the gain as they
// are decoded; after a volume raised over a capped song, the frames queued
// between the two (a few hundred ms) may go beyond full scale.
void Device::setGainKind(GainKind kind) {
    sourceGain_.store(gain_.setKind(kind, file_.get(), gainOf(volume())),
                      std::memory_order_relaxed);
}

Mode Device::mode() {
    settleFinished();
    return mode_;
}

long long Device::positionMs() {
    settleFinished();
    return mode_ == Mode::kPlaying ? livePositionMs() : restMs_;
}

// A thread that queued its last frame has nothing left to do: take it back,
// report the device stopped at the end of the track, and hand the output on
// with what it still holds, so that the next track can follow on it. An
// output that failed is let go; the next play opens one afresh.
void Device::settleFinished() {
    if (!thread_.joinable()) {
        return;
    }
    int outputError = 0;
    {
        std::lock_guard lock(mutex_);
        if (!progress_.finished) {
            return;
        }
        outputError = progress_.outputError;
    }
    thread_.join();
    if (outputError != 0) {
        OutputStage::release(std::move(stage_));
    } else {
        OutputStage::handOver(std::move(stage_), std::move(tempo_));
    }
    mode_ = Mode::kStopped;
    ended_ = true;
    restMs_ = facts_.lengthMs;
}

// What is heard now: the last report of the thread, carried forward by the
// time since then, but never past what has been handed to the output.
// Nothing can have been heard for longer than the playback has run, whatever
// an output that has not really started yet says of its delay.
long long Device::livePositionMs() {
    const auto now = Clock::now();
    const double rateNow = decoder_.rate() * (runSpeed_ / static_cast<double>(kNormalSpeed));
    std::lock_guard lock(mutex_);
    long long heard = progress_.heardFrames;
    if (progress_.queuedFrames > heard) {
        const std::chrono::duration<double> since = now - progress_.stamp;
        heard += static_cast<long long>(since.count() * rateNow);
        heard = std::min(heard, progress_.queuedFrames);
    }
    const std::chrono::duration<double> running = now - runStart_;
    heard = std::min(heard, static_cast<long long>(running.count() * rateNow));
    return std::clamp(startMs_ + framesToMs(heard), 0LL, facts_.lengthMs);
}

Failure Device::prepareDecoder() {
    if (decoder_.rate() == 0) {
        return decoder_.open(file_.get());
    }
    return {};
}

// Starts playing from ms. A playback that runs already keeps what the
// output's device holds when that plays out soon: a jump or a new speed is
// heard as soon, and the device need not start its stream afresh (a sound
// server can take a second or more for that).
Failure Device::start(long long ms) {
    halt(DeviceQueue::kKeepWhenShort);
    if (const Failure failure = prepareDecoder(); failure.failed()) {
        mode_ = Mode::kStopped;
        return failure;
    }
    const long long frame = ms * decoder_.rate() / 1000;
    // A position the decoder cannot reach (the very end, a damaged tail) is
    // played as the end of the track.
    const long long playable = decoder_.seek(frame) ? playableFrom(frame) : 0;
    startMs_ = ms;
    restMs_ = ms;
    ended_ = false;
    progress_ = Progress{};
    runStart_ = Clock::now();
    progress_.stamp = runStart_;
    stop_.store(false, std::memory_order_release);
    std::unique_ptr<TempoStage> carried;
    if (stage_ == nullptr) {
        stage_ = OutputStage::take(decoder_.rate(), decoder_.channels());
        carried = stage_->takeTempo();
    }
    runSpeed_ = speed_;
    if (carried != nullptr && ms == 0) {
        // The frames the previous track's speed stage holds back come out
        // at the head of this one, instead of being flushed with padding.
        tempo_ = std::move(carried);
        tempo_->setSpeed(runSpeed_);
    } else {
        tempo_ = std::make_unique<TempoStage>(decoder_.rate(), decoder_.channels(), runSpeed_);
    }
    stage_->setGain(gainOf(volume()));
    stage_->resumeWrites();
    mode_ = Mode::kStopped;  // stays so when no thread can be started
    SignalsBlockedHere forThePlaybackThread;
    thread_ = std::thread(&Device::run, this, playable);
    mode_ = Mode::kPlaying;
    return {};
}

// Source frames that play from frame on: no more than the length tells, so
// that what is measured is what plays. Past damage that the measurement
// stops at (a long run of junk, a change of sample rate) the decoder might
// go on, with the position standing at the length while sound goes on.
long long Device::playableFrom(long long frame) const {
    if (decoder_.rate() != facts_.sampleRate) {
        return std::numeric_limits<long long>::max();  // measured on another footing
    }
    return std::max(0LL, facts_.lengthSamples - frame);
}

// Pause and stop keep what is heard now as the place to go on from.
void Device::holdAtHeardPosition() {
    restMs_ = livePositionMs();
    halt();
}

// Stops the playback thread, if any, and takes decoder and tempo stage
// back. What is queued on the output is dropped at once, and what its device
// holds as asked; nothing here waits on the device.
void Device::halt(DeviceQueue deviceQueue) {
    if (!thread_.joinable()) {
        return;
    }
    stop_.store(true, std::memory_order_release);
    stage_->halt(deviceQueue);  // ends a wait of the thread's for room
    thread_.join();
}

// Reports what is heard: frames queued on the output minus those it has not
// played yet, turned into source frames by the speed ratio. Counting output
// frames, not decoded ones, leaves out the source frames still held inside
// the tempo stage, which are not heard yet either. At the head of a track
// that follows another on the same output, what is pending is still the
// other's: nothing of this one is heard until that has played.
void Device::publish(long long writtenOut, double ratio) {
    const OutputStage::Pending pending = stage_->pending();
    const long long reached = std::max(0LL, writtenOut - pending.waiting);
    const auto heard = static_cast<long long>(std::max(0LL, reached - pending.inDevice) * ratio);
    std::lock_guard lock(mutex_);
    // An output may report less delay before it has really started than
    // after; what was heard once stays heard.
    progress_.heardFrames = std::max(progress_.heardFrames, heard);
    progress_.queuedFrames = static_cast<long long>(reached * ratio);
    progress_.stamp = Clock::now();
}

// The one place where frames go from the speed stage towards the output.
int Device::feedOutput(float* frames, std::size_t count) {
    return stage_->write(frames, count);
}

// The playback ended by itself: its last frame is queued, or the output
// failed. A stop does not come here.
void Device::endRun(int outputError) {
    {
        std::lock_guard lock(mutex_);
        progress_.finished = true;
        progress_.outputError = outputError;
    }
    if (notify_.load(std::memory_order_acquire)) {
        signalTrackEnd();
    }
}

// Decodes and queues until the end of what may play. The tempo stage is not
// flushed at the end: what it holds back goes on with the output to the next
// track, or out when no track follows.
void Device::run(long long playable) {
    const std::size_t channels = static_cast<std::size_t>(decoder_.channels());
    std::vector<float> decoded(kChunkFrames * channels);
    std::vector<float> output(kChunkFrames * channels);
    long long writtenOut = 0;
    bool inputDone = playable == 0;
    while (!stopRequested()) {
        if (const std::size_t ready = tempo_->take(output.data(), kChunkFrames); ready > 0) {
            const int error = feedOutput(output.data(), ready);
            if (error == ECANCELED) {
                return;  // halted: the command layer settles the rest
            }
            if (error != 0) {
                endRun(error);  // the track ends here
                return;
            }
            writtenOut += static_cast<long long>(ready);
            publish(writtenOut, tempo_->ratio());
            continue;
        }
        if (inputDone) {
            endRun(0);
            return;
        }
        std::size_t count = 0;
        const Decoder::Status status = decoder_.read(decoded.data(), kChunkFrames, &count);
        count = static_cast<std::size_t>(std::min<long long>(count, playable));
        playable -= static_cast<long long>(count);
        applyVolume(decoded.data(), count, decoder_.channels(),
                    sourceGain_.load(std::memory_order_relaxed));
        tempo_->put(decoded.data(), count);
        inputDone = status == Decoder::Status::kEnd || playable == 0;
    }
}

}  // namespace mci
