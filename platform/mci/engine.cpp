#include "platform/mci/engine.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/mci/threadsignals.h"

namespace mci {

namespace {

// Output frames made in one go: four MPEG frames, about 100 ms at 44.1 kHz,
// so that the decoder runs a few times a second rather than at every frame.
constexpr std::size_t kBatchFrames = 4608;
// Frames per write to the device: requests are taken up between two writes,
// so a pause or a speed change is heard within about 25 ms.
constexpr long long kWriteFrames = 1024;
// How much of what the output had stays in the ring to be written again:
// more than any device holds.
constexpr long kRingSeconds = 3;
// The crossfade from the old path to the new one at a change of speed.
constexpr long kFadeMs = 10;
// What a jump or a speed change lets play out of what the device holds: the
// ALSA sink's buffer, the period it keeps back and a sound server's period
// (360 to 460 ms through PulseAudio), heard sooner than a new stream (a sound
// server can take half a second or more to start one).
constexpr long kKeepMs = 500;
// An output with nothing to play is closed after this long.
constexpr auto kIdleClose = std::chrono::seconds(10);

std::atomic<int> startedThreads{0};

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

Failure Source::open(const std::string& path, std::shared_ptr<Source>* source) {
    UniqueFd file;
    if (const Failure failure = openMp3(path.c_str(), &file); failure.failed()) {
        return failure;
    }
    Mp3Facts facts;
    FrameIndex index;
    if (const Failure failure = measureMp3File(file.get(), &facts, &index); failure.failed()) {
        return failure;
    }
    *source = std::make_shared<Source>(std::move(file), facts, std::move(index));
    return {};
}

Source::Source(UniqueFd file, const Mp3Facts& facts, FrameIndex index)
    : file_(std::move(file)), facts_(facts), index_(std::move(index)) {}

long long Source::frameAt(long long ms) const {
    return ms * facts_.sampleRate / 1000;
}

long long Source::msAt(long long frame) const {
    return facts_.sampleRate > 0 ? (frame * 1000 + facts_.sampleRate / 2) / facts_.sampleRate : 0;
}

// ---- The commands' side: state under the lock, nothing waits. ----

Engine& Engine::instance() {
    // Never destroyed: the exit hook stops its thread, and nothing may use
    // a destroyed engine in the middle of exit.
    static Engine* engine = [] {
        auto* created = new Engine;
        std::atexit([] { instance().shutdown(); });
        return created;
    }();
    return *engine;
}

Engine::Engine() : clock_(engineClock()) {
    SignalsBlockedHere forTheEngineThread;
    thread_ = std::thread(&Engine::run, this);
    ++startedThreads;
}

Engine::~Engine() {
    shutdown();
}

int Engine::threadsStarted() {
    return startedThreads.load();
}

// Under mutex_: the thread looks at wanted_ afresh.
void Engine::changed() {
    ++requests_;
    clock_.notify(changed_);
}

// Under mutex_: ends a write that waits in the device, for a request that
// drops what the device holds anyway.
void Engine::interruptOutput() {
    if (sinkForInterrupt_ != nullptr && !sinkInterrupted_) {
        sinkForInterrupt_->interrupt();
        sinkInterrupted_ = true;
    }
}

// Under mutex_.
void Engine::start(const std::shared_ptr<Source>& source, long long frame) {
    Wanted& w = wanted_;
    const bool streamFree = w.source == nullptr || w.source->ended_;
    if (w.source != nullptr && w.source != source && !w.source->ended_) {
        // Only one source sounds: the one playing stops where it is heard.
        w.source->restFrame_ = sourceFrameAt(*w.source, heardNow());
        w.source->mode_ = Mode::kStopped;
    }
    // The next source follows on the stream when the one before has ended.
    // A jump in the source that sounds lets what the device holds play out
    // when that is short, as it is heard as soon as a new stream would be
    // (a sound server can take a second or more to start one); another
    // source while one sounds drops it.
    w.startKeeps = w.source == source && !source->ended_;
    w.startDrops = !streamFree && !w.startKeeps;
    source->mode_ = Mode::kPlaying;
    source->ended_ = false;
    source->restFrame_ = frame;
    w.source = source;
    w.running = true;
    w.speed = source->speed_;
    ++w.start;
    w.startFrame = frame;
    if (w.startDrops) {
        interruptOutput();
    }
    if (sinkForInterrupt_ == nullptr && !announced_) {
        announced_.emplace(PendingOutput::announce());
    }
    changed();
}

void Engine::play(const std::shared_ptr<Source>& source) {
    std::lock_guard lock(mutex_);
    if (source->mode_ == Mode::kPlaying) {
        return;
    }
    if (source->mode_ == Mode::kPaused || (wanted_.source == source && !source->ended_)) {
        // Paused or stopped while the stream still holds its place: it goes
        // on from the very next sample.
        source->mode_ = Mode::kPlaying;
        wanted_.running = true;
        changed();
        return;
    }
    start(source, source->ended_ ? 0 : source->restFrame_);
}

void Engine::playFrom(const std::shared_ptr<Source>& source, long long ms) {
    std::lock_guard lock(mutex_);
    if (wanted_.source == source) {
        source->ended_ = false;  // a jump in the source that sounds drops what the output holds
    }
    start(source, source->frameAt(ms));
}

void Engine::notifyAtEnd(Source& source) {
    std::lock_guard lock(mutex_);
    source.notify_ = true;
}

void Engine::pause(Source& source) {
    std::lock_guard lock(mutex_);
    if (source.mode_ != Mode::kPlaying) {
        return;
    }
    source.mode_ = Mode::kPaused;
    if (wanted_.source.get() == &source) {
        source.restFrame_ = sourceFrameAt(source, heardNow());
        wanted_.running = false;
        changed();
    }
}

void Engine::resume(Source& source) {
    std::lock_guard lock(mutex_);
    if (source.mode_ != Mode::kPaused) {
        return;
    }
    source.mode_ = Mode::kPlaying;
    if (wanted_.source.get() == &source) {
        wanted_.running = true;
        changed();
    }
}

void Engine::stop(Source& source) {
    std::lock_guard lock(mutex_);
    if (source.mode_ == Mode::kStopped) {
        return;
    }
    if (wanted_.source.get() == &source && source.mode_ == Mode::kPlaying) {
        source.restFrame_ = sourceFrameAt(source, heardNow());
    }
    source.mode_ = Mode::kStopped;
    if (wanted_.source.get() == &source) {
        wanted_.running = false;
        changed();
    }
}

void Engine::setSpeed(Source& source, int speed) {
    std::lock_guard lock(mutex_);
    source.speed_ = speed;
    if (wanted_.source.get() == &source) {
        wanted_.speed = speed;
        changed();
    }
}

void Engine::close(Source& source) {
    std::lock_guard lock(mutex_);
    if (wanted_.source.get() != &source) {
        return;
    }
    wanted_.source = nullptr;
    if (!source.ended_) {
        ++wanted_.drop;  // it sounds, or holds its place: silence now
        interruptOutput();
        wanted_.running = false;
    }
    // The end of a source that ended plays out, and the next one follows it.
    changed();
}

Mode Engine::mode(Source& source) {
    std::lock_guard lock(mutex_);
    return source.mode_;
}

long long Engine::positionMs(Source& source) {
    std::lock_guard lock(mutex_);
    if (source.ended_) {
        return source.lengthMs();
    }
    // While it plays, what is heard; otherwise where it stopped.
    const bool sounds = wanted_.source.get() == &source && source.mode_ == Mode::kPlaying;
    const long long frame = sounds ? sourceFrameAt(source, heardNow()) : source.restFrame_;
    return std::clamp(source.msAt(frame), 0LL, source.lengthMs());
}

int Engine::speed(Source& source) {
    std::lock_guard lock(mutex_);
    return source.speed_;
}

void Engine::setVolume(int volume) {
    volume_.store(volume, std::memory_order_relaxed);
}

void Engine::releaseOutput() {
    std::unique_lock lock(mutex_);
    if (wanted_.source != nullptr && !wanted_.source->ended_) {
        wanted_.source->mode_ = Mode::kStopped;
    }
    wanted_.source = nullptr;
    wanted_.running = false;
    const long long asked = ++wanted_.release;
    interruptOutput();
    changed();
    released_.wait(lock, [&] { return releasedCount_ >= asked; });
}

void Engine::shutdown() {
    {
        std::lock_guard lock(mutex_);
        wanted_.shutdown = true;
        interruptOutput();
        changed();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

// Under mutex_: the output frame heard now, by the output's last report
// carried forward on the clock while the device plays (it played on between
// its last two reports: a device that has not started or that stalls does
// not seem to play on). Never past what it has been handed, nor past what
// the clock allows since the device last started from silence: a sound
// server's first reports may hold less than it has taken.
long long Engine::heardNow() const {
    long long heard = heard_.written - heard_.delay;
    const auto now = clock_.now();
    if (heard_.flowing && heard_.rate > 0) {
        const std::chrono::duration<double> since = now - heard_.at;
        heard += static_cast<long long>(since.count() * static_cast<double>(heard_.rate));
    }
    long long allowed = heard_.startOut;
    if (heard_.startAt != EngineClock::TimePoint::max() && heard_.rate > 0) {
        const std::chrono::duration<double> since = now - heard_.startAt;
        allowed += static_cast<long long>(since.count() * static_cast<double>(heard_.rate));
    }
    return std::clamp(heard, 0LL, std::min(written_, allowed));
}

// Under mutex_: the source's frame that output frame out plays. Before its
// first frame is heard (the song before still plays out), where it starts.
long long Engine::sourceFrameAt(const Source& source, long long out) const {
    const Segment* at = nullptr;
    for (const Segment& segment : segments_) {
        if (segment.outStart > out) {
            break;
        }
        at = &segment;
    }
    if (at == nullptr || at->source.get() != &source) {
        return source.restFrame_;
    }
    return at->srcStart + std::llround(static_cast<double>(out - at->outStart) * at->ratio);
}

// ---- The thread: decodes, stretches and writes; the device is used here alone. ----

void Engine::run() {
    std::unique_lock lock(mutex_);
    while (!wanted_.shutdown) {
        const Wanted wanted = wanted_;
        const long long requests = requests_;
        apply(wanted, lock);
        if (wanted_.shutdown) {
            break;
        }
        if (running_ && writeSome(lock)) {
            continue;
        }
        if (requests_ == requests) {
            idle(lock);
        }
    }
    discard(lock);
    closeOutput(lock);
    playing_.reset();
}

// Takes up what the commands asked since the last turn, in the order that
// keeps each meaning: a release or a drop first, then a start, then a new
// speed, then a pause.
void Engine::apply(const Wanted& wanted, std::unique_lock<std::mutex>& lock) {
    if (wanted.release != seen_.release) {
        seen_.release = wanted.release;
        discard(lock);
        closeOutput(lock);
        playing_.reset();
        running_ = false;
        releasedCount_ = wanted.release;
        released_.notify_all();
    }
    if (wanted.drop != seen_.drop) {
        seen_.drop = wanted.drop;
        discard(lock);
        playing_.reset();
        decoderDone_ = true;
    }
    if (wanted.start != seen_.start) {
        seen_.start = wanted.start;
        if (wanted.startDrops || wanted.startKeeps) {
            discard(lock, wanted.startKeeps);
        }
        // A source closed before its start was taken up does not start.
        if (wanted.source != nullptr && !beginSource(wanted.source, wanted.startFrame, lock)) {
            return;
        }
    }
    if (playing_ != nullptr && playing_ == wanted.source && wanted.speed != speedNow_ &&
        !decoderDone_) {
        respeed(wanted.speed, lock);
    }
    if (running_ && !wanted.running) {
        hold(lock);
    }
    if (!running_ && wanted.running && devicePaused_) {
        lock.unlock();
        sink_->pause(false);
        lock.lock();
        devicePaused_ = false;
    }
    running_ = wanted.running;
}

// Starts decoding source at frame, behind what the output has had.
bool Engine::beginSource(const std::shared_ptr<Source>& source, long long frame,
                         std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    Failure opened;
    if (playing_ != source || decoder_.rate() == 0) {
        opened = decoder_.open(source->file_.get(), &source->index_);
    }
    // A position the decoder cannot reach (the very end, a damaged tail) is
    // played as the end of the source.
    const bool reached = !opened.failed() && decoder_.seek(frame);
    lock.lock();
    playing_ = source;
    if (opened.failed()) {
        endSource(0, lock);
        return false;
    }
    adoptFormat(decoder_.rate(), decoder_.channels());
    goOnFrom(frame, reached, wanted_.speed);
    addSegment(source, frame, speedNow_ / static_cast<double>(kNormalSpeed));
    return true;
}

// Makes the ring and the speed stage for the format of what comes next.
// The output itself is reopened once what it holds has played (ensureOutput).
void Engine::adoptFormat(long rate, int channels) {
    if (rate == rate_ && channels == channels_) {
        return;
    }
    rate_ = rate;
    channels_ = channels;
    ringFrames_ = rate * kRingSeconds;
    const auto samples = [channels](std::size_t frames) {
        return frames * static_cast<std::size_t>(channels);
    };
    ring_.assign(samples(static_cast<std::size_t>(ringFrames_)), 0.0f);
    batch_.assign(samples(kBatchFrames), 0.0f);
    decoded_.assign(samples(kBatchFrames), 0.0f);
    scaled_.assign(samples(kWriteFrames), 0.0f);
    fade_.assign(samples(static_cast<std::size_t>(rate * kFadeMs / 1000)), 0.0f);
    fadeFrames_ = 0;
    tempo_ = std::make_unique<TempoStage>(rate, channels);
    formatStart_ = produced_;
}

// Drops what the device holds, unless asked to keep it when it plays out
// soon: the frames it had not played yet go back to the ring, to be written
// again. Returns how many.
long long Engine::rewindDevice(std::unique_lock<std::mutex>& lock, bool keepShort) {
    long long held = 0;
    if (sink_ != nullptr) {
        lock.unlock();
        held = sink_->delay();
        if (keepShort && !devicePaused_ && held <= rate_ * kKeepMs / 1000) {
            lock.lock();
            return 0;
        }
        sink_->drop();
        lock.lock();
        devicePaused_ = false;
        if (sinkInterrupted_) {
            sink_->rearm();
            sinkInterrupted_ = false;
        }
    }
    const long long oldest = std::max(formatStart_, produced_ - ringFrames_);
    written_ -= std::clamp(held, 0LL, written_ - oldest);
    publish(0, false, lock);
    return held;
}

// Forgets what was made and not written, and silences the output (or lets
// a short rest of it play out).
void Engine::discard(std::unique_lock<std::mutex>& lock, bool keepShort) {
    rewindDevice(lock, keepShort);
    produced_ = written_;
    fadeFrames_ = 0;
    trimSegments();
    if (tempo_ != nullptr && speedNow_ != kNormalSpeed) {
        tempo_->restart(speedNow_);
    }
    tempoFlushed_ = false;
}

// Pause and stop: the output stops where it is, and goes on later from the
// very next sample.
void Engine::hold(std::unique_lock<std::mutex>& lock) {
    if (sink_ == nullptr) {
        return;
    }
    // An output that can pause keeps what it holds (a sound server keeps its
    // stream); any other drops it, to be written again.
    lock.unlock();
    const bool paused = sink_->pause(true);
    const long long held = paused ? sink_->delay() : 0;
    lock.lock();
    if (!paused) {
        rewindDevice(lock);
        return;
    }
    devicePaused_ = true;
    publish(held, false, lock);
}

// A new speed from the sample after those the device holds (from the
// sample heard now when it holds much): the speed stage starts over there,
// and the first few milliseconds fade from what the old path would have
// played into the new one.
void Engine::respeed(int speed, std::unique_lock<std::mutex>& lock) {
    rewindDevice(lock, true);
    const long long frame = sourceFrameAt(*playing_, written_);
    const std::size_t fade = static_cast<std::size_t>(std::min<long long>(
        produced_ - written_, static_cast<long long>(fade_.size()) / channels_));
    for (std::size_t i = 0; i < fade; ++i) {
        std::memcpy(&fade_[i * channels_], ringAt(written_ + static_cast<long long>(i)),
                    sizeof(float) * static_cast<std::size_t>(channels_));
    }
    fadeFrames_ = fade;
    fadeDone_ = 0;
    produced_ = written_;
    trimSegments();
    lock.unlock();
    const bool reached = decoder_.seek(frame);
    lock.lock();
    goOnFrom(frame, reached, speed);
    addSegment(playing_, frame, speed / static_cast<double>(kNormalSpeed));
}

// The playing source goes on from frame (which the decoder reached, or not)
// at speed.
void Engine::goOnFrom(long long frame, bool reached, int speed) {
    // No more than the length tells plays, so that what is measured is what
    // plays; past damage the measurement stops at, the decoder might go on.
    const Mp3Facts& facts = playing_->facts_;
    playable_ = !reached                              ? 0
                : decoder_.rate() == facts.sampleRate ? std::max(0LL, facts.lengthSamples - frame)
                                                      : std::numeric_limits<long long>::max();
    decoderDone_ = playable_ == 0;
    tempoFlushed_ = false;
    speedNow_ = speed;
    if (speed != kNormalSpeed) {
        tempo_->restart(speed);
    }
}

// Under mutex_: segments that start where nothing was made yet are gone.
void Engine::trimSegments() {
    while (!segments_.empty() && segments_.back().outStart >= produced_) {
        segments_.pop_back();
    }
}

// Under mutex_: from the next frame made on, source plays from srcStart.
void Engine::addSegment(const std::shared_ptr<Source>& source, long long srcStart, double ratio) {
    trimSegments();
    // What is heard already needs only its last segment.
    const long long heard = heardNow();
    std::size_t first = 0;
    while (first + 1 < segments_.size() && segments_[first + 1].outStart <= heard) {
        ++first;
    }
    segments_.erase(segments_.begin(), segments_.begin() + static_cast<long>(first));
    segments_.push_back({produced_, source, srcStart, ratio});
}

// Writes the next few frames to the device, making them first when all
// made ones are written. False when there is nothing to write.
bool Engine::writeSome(std::unique_lock<std::mutex>& lock) {
    if (written_ == produced_) {
        if (playing_ == nullptr) {
            return false;
        }
        lock.unlock();
        const bool made = produce();
        lock.lock();
        if (!made) {
            endSource(0, lock);
            return false;
        }
    }
    if (!ensureOutput(lock)) {
        discard(lock);
        endSource(ENODEV, lock);
        return false;
    }
    const long long offset = written_ % ringFrames_;
    const long long count = std::min({kWriteFrames, produced_ - written_, ringFrames_ - offset});
    gainsOfWrite(count);
    if (heard_.startAt == EngineClock::TimePoint::max()) {
        heard_.startAt = clock_.now();
    }
    lock.unlock();
    const int error = sink_->write(scaled(count), static_cast<std::size_t>(count));
    const long long delay = error == 0 ? sink_->delay() : 0;
    lock.lock();
    if (error == ECANCELED) {
        return true;  // a command drops what the device holds: the next turn does it
    }
    if (error != 0) {
        discard(lock);
        closeOutput(lock);
        endSource(error, lock);
        return false;
    }
    written_ += count;
    lastWrite_ = clock_.now();
    flushAt_ = EngineClock::TimePoint::max();
    publish(delay, true, lock);
    return true;
}

// Under mutex_: the gains of the next count frames to write, the volume
// times the gain of the source that each frame belongs to.
void Engine::gainsOfWrite(long long count) {
    const float volume = gainOf(volume_.load(std::memory_order_relaxed));
    gains_.clear();
    for (const Segment& segment : segments_) {
        const long long offset = std::max(0LL, segment.outStart - written_);
        if (offset >= count) {
            break;
        }
        if (!gains_.empty() && offset == 0) {
            gains_.clear();  // an earlier segment, all before this write
        }
        gains_.push_back({offset, volume * segment.source->gain()});
    }
    if (gains_.empty()) {
        gains_.push_back({0, volume});
    }
}

// The next count frames of the ring as they go to the device.
const float* Engine::scaled(long long count) {
    const float* frames = ringAt(written_);
    if (std::all_of(gains_.begin(), gains_.end(), [](GainRun run) { return run.gain == 1.0f; })) {
        return frames;
    }
    const auto samples = static_cast<std::size_t>(channels_);
    std::memcpy(scaled_.data(), frames, sizeof(float) * static_cast<std::size_t>(count) * samples);
    for (std::size_t i = 0; i < gains_.size(); ++i) {
        const long long end = i + 1 < gains_.size() ? gains_[i + 1].offset : count;
        applyVolume(scaled_.data() + static_cast<std::size_t>(gains_[i].offset) * samples,
                    static_cast<std::size_t>(end - gains_[i].offset), channels_, gains_[i].gain);
    }
    return scaled_.data();
}

// Makes the next batch of output frames into the ring. False when the
// source has nothing more.
bool Engine::produce() {
    std::size_t count = 0;
    if (speedNow_ == kNormalSpeed) {
        count = decodeInto(batch_.data(), kBatchFrames);
    } else {
        while ((count = tempo_->take(batch_.data(), kBatchFrames)) == 0) {
            if (decoderDone_) {
                if (tempoFlushed_) {
                    break;
                }
                tempo_->finish();
                tempoFlushed_ = true;
                continue;
            }
            tempo_->put(decoded_.data(), decodeInto(decoded_.data(), kBatchFrames));
        }
    }
    if (count == 0) {
        return false;
    }
    const auto channels = static_cast<std::size_t>(channels_);
    for (; fadeDone_ < fadeFrames_ && fadeDone_ < count; ++fadeDone_) {
        const float in = static_cast<float>(fadeDone_ + 1) / static_cast<float>(fadeFrames_ + 1);
        for (std::size_t c = 0; c < channels; ++c) {
            float& sample = batch_[fadeDone_ * channels + c];
            sample = sample * in + fade_[fadeDone_ * channels + c] * (1.0f - in);
        }
    }
    for (std::size_t done = 0; done < count;) {
        const auto offset = static_cast<std::size_t>(produced_ % ringFrames_);
        const std::size_t piece =
            std::min(count - done, static_cast<std::size_t>(ringFrames_) - offset);
        std::memcpy(ring_.data() + offset * channels, batch_.data() + done * channels,
                    sizeof(float) * piece * channels);
        done += piece;
        produced_ += static_cast<long long>(piece);
    }
    return true;
}

// Decodes up to maxFrames of the playing source.
std::size_t Engine::decodeInto(float* out, std::size_t maxFrames) {
    if (decoderDone_) {
        return 0;
    }
    std::size_t count = 0;
    const Decoder::Status status = decoder_.read(
        out, static_cast<std::size_t>(std::min<long long>(maxFrames, playable_)), &count);
    count = static_cast<std::size_t>(std::min<long long>(count, playable_));
    playable_ -= static_cast<long long>(count);
    decoderDone_ = status == Decoder::Status::kEnd || playable_ == 0 || count == 0;
    return count;
}

// Opens the output for the format being made, once one of another format
// has played out what it holds. False when none can be opened.
bool Engine::ensureOutput(std::unique_lock<std::mutex>& lock) {
    if (sink_ != nullptr && sinkRate_ == rate_ && sinkChannels_ == channels_) {
        return true;
    }
    if (sink_ != nullptr) {
        lock.unlock();
        sink_->drain();
        lock.lock();
        closeOutput(lock);
    }
    std::optional<PendingOutput> pending = std::move(announced_);
    announced_.reset();
    lock.unlock();
    std::unique_ptr<AudioSink> sink =
        pending ? pending->open(rate_, channels_) : openAudioSink(rate_, channels_);
    pending.reset();
    lock.lock();
    if (sink == nullptr) {
        return false;
    }
    sink_ = std::move(sink);
    sinkForInterrupt_ = sink_.get();
    sinkInterrupted_ = false;
    sinkRate_ = rate_;
    sinkChannels_ = channels_;
    return true;
}

void Engine::closeOutput(std::unique_lock<std::mutex>& lock) {
    if (sink_ == nullptr) {
        return;
    }
    sinkForInterrupt_ = nullptr;
    sinkInterrupted_ = false;
    devicePaused_ = false;
    std::unique_ptr<AudioSink> sink = std::move(sink_);
    lock.unlock();
    sink->drop();
    sink->close();
    sink.reset();
    lock.lock();
    publish(0, false, lock);
}

// The playing source's last frame went to the device (or the output
// failed): it stops at its end, and says so when asked to. A start or a
// drop asked for meanwhile is taken up instead at the next turn.
void Engine::endSource(int outputError, std::unique_lock<std::mutex>&) {
    std::shared_ptr<Source> source = std::move(playing_);
    playing_.reset();
    decoderDone_ = true;
    if (source == nullptr || wanted_.start != seen_.start || wanted_.drop != seen_.drop ||
        wanted_.release != seen_.release) {
        return;
    }
    // FIXME: the cause of an output's failure (outputError) is reported to no one.
    source->ended_ = true;
    source->mode_ = Mode::kStopped;
    source->restFrame_ = source->facts_.lengthSamples;
    if (source->notify_) {
        signalTrackEnd();
    }
    if (outputError == 0 && rate_ > 0) {
        // An output may keep the last few frames back for its next write; if
        // no next source comes by the time it has played half of what it
        // holds, a write of nothing lets them go.
        flushAt_ = clock_.now() + std::chrono::duration_cast<EngineClock::TimePoint::duration>(
                                      std::chrono::duration<double>(heard_.delay / 2.0 / rate_));
    }
}

// Under mutex_: what the device has had and holds now.
// The device counts as playing on while what it has played grew in the
// last half second.
void Engine::publish(long long delay, bool playing, std::unique_lock<std::mutex>&) {
    const auto now = clock_.now();
    if (!playing) {
        // The device stands, or starts afresh: from what it has played, with
        // the clock of its next start.
        heard_.movedAt = EngineClock::TimePoint::min();
        heard_.startOut = written_ - delay;
        heard_.startAt = EngineClock::TimePoint::max();
    } else if (written_ - delay > heard_.written - heard_.delay) {
        heard_.movedAt = now;
    }
    heard_.flowing = playing && heard_.movedAt != EngineClock::TimePoint::min() &&
                     now - heard_.movedAt < std::chrono::milliseconds(500);
    heard_.written = written_;
    heard_.delay = delay;
    heard_.at = now;
    heard_.rate = rate_;
}

// Nothing to write: waits for a command. An output with nothing to play is
// closed after a while, so that a long pause holds no device.
void Engine::idle(std::unique_lock<std::mutex>& lock) {
    if (sink_ == nullptr || devicePaused_) {
        flushAt_ = EngineClock::TimePoint::max();  // nothing to let go now
    }
    const auto deadline =
        sink_ != nullptr ? lastWrite_ + kIdleClose : EngineClock::TimePoint::max();
    const long long requests = requests_;
    clock_.waitUntil(lock, changed_, std::min(deadline, flushAt_));
    if (requests_ != requests || sink_ == nullptr) {
        return;
    }
    if (clock_.now() >= flushAt_) {
        flushAt_ = EngineClock::TimePoint::max();
        lock.unlock();
        sink_->write(ring_.data(), 0);
        lock.lock();
    } else if (clock_.now() >= deadline) {
        rewindDevice(lock);  // what a paused output holds goes back to the ring
        closeOutput(lock);
    }
}

}  // namespace mci
