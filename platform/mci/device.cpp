#include "platform/mci/device.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <vector>

#include "platform/mci/mci.h"
#include "platform/mci/threadsignals.h"

namespace mci {

namespace {

// Frames per step of the playback thread: one MPEG frame, about 26 ms at
// 44.1 kHz, which bounds how long a stop waits for the thread.
constexpr std::size_t kChunkFrames = 1152;

// A playback that is restarted (a jump, a new speed) keeps at most this
// much queued audio of the one before: a device's short buffer and a sound
// server's latency, not the silent output's half second.
constexpr long kHandOverMs = 200;

// Below this much queued audio the rest of a drain is left to the output.
constexpr long kDrainTailMs = 20;

// How long the end of a track waits for an output that takes nothing more,
// and how often it looks meanwhile.
constexpr long kDrainStallMs = 300;
constexpr long kDrainPollMs = 5;

using Clock = std::chrono::steady_clock;

}  // namespace

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
    halt();
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

Mode Device::mode() {
    settleFinished();
    return mode_;
}

long long Device::positionMs() {
    settleFinished();
    return mode_ == Mode::kPlaying ? livePositionMs() : restMs_;
}

// A thread that played to the end has nothing left to do: take it back and
// report the device stopped at the end of the track.
void Device::settleFinished() {
    if (!thread_.joinable()) {
        return;
    }
    bool outputFailed = false;
    {
        std::lock_guard lock(mutex_);
        if (!progress_.finished) {
            return;
        }
        outputFailed = progress_.outputFailed;
    }
    thread_.join();
    if (outputFailed) {
        sink_.reset();  // the next play opens an output afresh
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

// Starts playing from ms. A playback that runs already hands over without
// dropping what the output holds when that plays out within kHandOverMs: a
// jump or a new speed is heard as soon, and the output need not start its
// stream afresh (a sound server can take a second or more for that).
Failure Device::start(long long ms) {
    halt(Queued::kKeepShortQueue);
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
    if (sink_ != nullptr) {
        sink_->rearm();
    }
    PendingOutput output = sink_ == nullptr ? PendingOutput::announce() : PendingOutput();
    runSpeed_ = speed_;
    mode_ = Mode::kStopped;  // stays so when no thread can be started
    SignalsBlockedHere forThePlaybackThread;
    thread_ = std::thread(&Device::run, this, runSpeed_, playable, std::move(output));
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

// Stops the playback thread, if any, and takes decoder and output back.
// What the output holds is dropped, so the sound stops at once, unless the
// queue is short and the caller keeps it.
void Device::halt(Queued queued) {
    if (!thread_.joinable()) {
        return;
    }
    AudioSink* sink;
    {
        std::lock_guard lock(mutex_);
        stop_.store(true, std::memory_order_release);
        sink = sink_.get();
    }
    wake_.notify_all();
    if (sink != nullptr) {
        sink->interrupt();  // a thread waiting for the output to play down
    }
    thread_.join();
    if (sink_ != nullptr &&
        (queued == Queued::kDrop || sink_->delay() > decoder_.rate() * kHandOverMs / 1000)) {
        sink_->drop();
    }
}

// Reports what is heard, counted on the output side: frames handed to the
// output minus those it still holds, turned into source frames by the speed
// ratio. Counting output frames, not decoded ones, leaves out the source
// frames still held inside the tempo stage, which are not heard yet either.
void Device::publish(long long writtenOut, double ratio) {
    const long delay = sink_->delay();
    const auto heard = static_cast<long long>(std::max(0LL, writtenOut - delay) * ratio);
    std::lock_guard lock(mutex_);
    // An output may report less delay before it has really started than
    // after; what was heard once stays heard.
    progress_.heardFrames = std::max(progress_.heardFrames, heard);
    progress_.queuedFrames = static_cast<long long>(writtenOut * ratio);
    progress_.stamp = Clock::now();
}

// Lets the queued audio play out while staying ready to be stopped; only
// the last few milliseconds are left to the output's own drain. An output
// that takes nothing more for kDrainStallMs is not waited for any longer: a
// sound server whose stream ran dry under load may hold a last sliver below
// its start threshold without ever playing it, and the track must still end.
void Device::drainInterruptibly(long long writtenOut, double ratio) {
    const long rate = decoder_.rate();
    const long tail = rate * kDrainTailMs / 1000;
    long lastDelay = -1;
    auto lastProgress = Clock::now();
    for (;;) {
        publish(writtenOut, ratio);
        const long delay = sink_->delay();
        if (delay <= tail) {
            break;
        }
        const auto now = Clock::now();
        if (lastDelay < 0 || delay < lastDelay) {
            lastDelay = delay;
            lastProgress = now;
        } else if (now - lastProgress > std::chrono::milliseconds(kDrainStallMs)) {
            sink_->drop();  // its own drain would wait for the stalled sliver again
            return;
        }
        const long waitMs = std::max<long>((delay - tail) * 1000 / rate, kDrainPollMs);
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::milliseconds(waitMs),
                           [this] { return stopRequested(); })) {
            return;
        }
    }
    sink_->drain();
}

// Opens the output on the playback thread. A thread that is told to stop
// while it opens sees it at its next look at stop_, and a halt that found no
// output yet has nothing to interrupt. False when no output could be had.
bool Device::openOutput(PendingOutput& output) {
    if (sink_ != nullptr) {
        return true;
    }
    auto sink = output.open(decoder_.rate(), decoder_.channels());
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
    return sink_ != nullptr;
}

void Device::run(int speed, long long playable, PendingOutput pendingOutput) {
    if (!openOutput(pendingOutput)) {
        std::lock_guard lock(mutex_);
        progress_.finished = true;
        progress_.outputFailed = true;  // the track ends; the next play tries again
        return;
    }
    const std::size_t channels = static_cast<std::size_t>(decoder_.channels());
    std::vector<float> decoded(kChunkFrames * channels);
    std::vector<float> output(kChunkFrames * channels);
    TempoStage tempo(decoder_.rate(), decoder_.channels(), speed);
    long long writtenOut = 0;
    bool outputFailed = false;
    bool inputDone = playable == 0;
    if (inputDone) {
        tempo.finish();
    }
    while (!stopRequested()) {
        if (const std::size_t ready = tempo.take(output.data(), kChunkFrames); ready > 0) {
            applyVolume(output.data(), ready, decoder_.channels(), gainOf(volume()));
            if (sink_->write(output.data(), ready) != 0) {
                outputFailed = true;  // the track ends here
                break;
            }
            writtenOut += static_cast<long long>(ready);
            publish(writtenOut, tempo.ratio());
            continue;
        }
        if (inputDone) {
            drainInterruptibly(writtenOut, tempo.ratio());
            break;
        }
        std::size_t count = 0;
        const Decoder::Status status = decoder_.read(decoded.data(), kChunkFrames, &count);
        count = static_cast<std::size_t>(std::min<long long>(count, playable));
        playable -= static_cast<long long>(count);
        tempo.put(decoded.data(), count);
        if (status == Decoder::Status::kEnd || playable == 0) {
            inputDone = true;
            tempo.finish();
        }
    }
    if (stopRequested()) {
        return;  // halt() settles what the output holds
    }
    std::lock_guard lock(mutex_);
    progress_.finished = true;
    progress_.outputFailed = outputFailed;
}

}  // namespace mci
