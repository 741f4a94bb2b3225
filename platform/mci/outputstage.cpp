#include "platform/mci/outputstage.h"

#include <algorithm>
#include <cerrno>

#include "platform/mci/threadsignals.h"
#include "platform/mci/volume.h"

namespace mci {

namespace {

using Clock = std::chrono::steady_clock;

// Frames per write to the device: one MPEG frame, about 26 ms at 44.1 kHz.
constexpr std::size_t kChunkFrames = 1152;

// A halt that keeps the device's frames keeps at most this much: the ALSA
// sink's buffer (200 ms) and a sound server's latency (up to one of its
// periods), heard sooner than a restart, so that a jump or a new speed need
// not start the stream afresh (a sound server takes half a second or more).
constexpr long kKeepMs = 300;

// While the stage idles with frames still in the device, it looks at the
// device's delay this often, so that what is pending stays true.
constexpr auto kIdleLook = std::chrono::milliseconds(50);

// The stages that no track holds: the one handed over last, and those that
// play out or close. The command layer adds and reaps them; a stage's thread
// reports its end here.
struct Registry {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<OutputStage>> stages;
    OutputStage* handed = nullptr;  // in stages, while it may be taken up
    int unheld = 0;                 // stages of the list whose thread still runs
};

Registry& registry() {
    static Registry* instance = new Registry;  // outlives every device
    return *instance;
}

}  // namespace

OutputStage::OutputStage(long rate, int channels) : rate_(rate), channels_(channels) {}

OutputStage::~OutputStage() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        writesCancelled_ = true;
        interruptDevice();
    }
    changed_.notify_all();
    registry().changed.notify_all();  // a thread that waits to open
    if (thread_.joinable()) {
        thread_.join();
    }
}

// Under mutex_: ends the thread's wait in the device, once per wait, so that
// no interruption is left over for a later write.
void OutputStage::interruptDevice() {
    if (inDevice_ && !interruptSent_ && sink_ != nullptr) {
        sink_->interrupt();
        interruptSent_ = true;
    }
}

std::size_t OutputStage::capacity() const {
    return static_cast<std::size_t>(rate_ * kQueueMs / 1000);
}

bool OutputStage::windowPassed() const {
    return Clock::now() - handedAt_ >= std::chrono::milliseconds(kHandOverWindowMs);
}

bool OutputStage::hasEnded() {
    std::lock_guard lock(mutex_);
    return ended_;
}

// Under the registry's lock. A stage that cannot be taken up is told to play
// out at once instead of waiting for the rest of its window.
bool OutputStage::claim(long rate, int channels) {
    std::lock_guard lock(mutex_);
    if (handedOver_ && !playingOut_ && !closing_ && error_ == 0 && !ended_ && !windowPassed() &&
        matches(rate, channels)) {
        handedOver_ = false;
        return true;
    }
    handedAt_ = {};
    changed_.notify_all();
    return false;
}

// Under the registry's lock, where a stage's thread reports its end: a
// stage whose thread has ended already is not counted as running.
void OutputStage::adopt(std::unique_ptr<OutputStage> stage) {
    Registry& r = registry();
    stage->inRegistry_ = true;
    if (!stage->hasEnded()) {
        ++r.unheld;
    }
    r.stages.push_back(std::move(stage));
}

void OutputStage::reapEnded() {
    std::vector<std::unique_ptr<OutputStage>> ended;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        for (auto it = r.stages.begin(); it != r.stages.end();) {
            if ((*it)->hasEnded()) {
                if (it->get() == r.handed) {
                    r.handed = nullptr;
                }
                ended.push_back(std::move(*it));
                it = r.stages.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Their threads have ended: joining them takes no time.
}

std::unique_ptr<OutputStage> OutputStage::take(long rate, int channels) {
    reapEnded();
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        if (OutputStage* handed = std::exchange(r.handed, nullptr)) {
            if (handed->claim(rate, channels)) {
                auto it = std::find_if(r.stages.begin(), r.stages.end(),
                                       [handed](const auto& s) { return s.get() == handed; });
                std::unique_ptr<OutputStage> stage = std::move(*it);
                r.stages.erase(it);
                stage->inRegistry_ = false;
                --r.unheld;
                return stage;
            }
        }
    }
    std::unique_ptr<OutputStage> stage(new OutputStage(rate, channels));
    stage->start(PendingOutput::announce());
    return stage;
}

void OutputStage::handOver(std::unique_ptr<OutputStage> stage, std::unique_ptr<TempoStage> tempo) {
    if (stage == nullptr) {
        return;
    }
    {
        std::lock_guard lock(stage->mutex_);
        stage->handedOver_ = true;
        stage->handedAt_ = Clock::now();
        stage->handedTempo_ = std::move(tempo);
    }
    stage->changed_.notify_all();
    reapEnded();
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (r.handed != nullptr) {
        r.handed->claim(0, 0);  // an older one plays out now
    }
    r.handed = stage.get();
    adopt(std::move(stage));
}

void OutputStage::release(std::unique_ptr<OutputStage> stage) {
    if (stage == nullptr) {
        return;
    }
    stage->halt(DeviceQueue::kDrop);
    {
        std::lock_guard lock(stage->mutex_);
        stage->closing_ = true;
    }
    stage->changed_.notify_all();
    reapEnded();
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    adopt(std::move(stage));
    r.changed.notify_all();  // its own thread may wait to open
}

void OutputStage::closeAll() {
    std::vector<std::unique_ptr<OutputStage>> stages;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        stages.swap(r.stages);
        r.handed = nullptr;
    }
    // Each destructor stops its stage and joins its thread; the registry's
    // lock must not be held, since the threads report their end there.
}

std::unique_ptr<TempoStage> OutputStage::takeTempo() {
    std::lock_guard lock(mutex_);
    return std::move(handedTempo_);
}

int OutputStage::write(const float* frames, std::size_t count) {
    const auto channels = static_cast<std::size_t>(channels_);
    std::unique_lock lock(mutex_);
    while (count > 0) {
        changed_.wait(lock, [this] {
            return writesCancelled_ || error_ != 0 || ended_ || queued() < capacity();
        });
        if (writesCancelled_) {
            return ECANCELED;
        }
        if (error_ != 0) {
            return error_;
        }
        if (ended_) {
            return EPIPE;
        }
        const std::size_t room = std::min(count, capacity() - queued());
        queue_.insert(queue_.end(), frames, frames + room * channels);
        frames += room * channels;
        count -= room;
        changed_.notify_all();
    }
    return 0;
}

OutputStage::Pending OutputStage::pending() {
    std::lock_guard lock(mutex_);
    return {static_cast<long long>(queued() + inFlight_), deviceDelay_};
}

void OutputStage::halt(DeviceQueue deviceQueue) {
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        writesCancelled_ = true;
        deviceDrop_ =
            dropPending_ && deviceDrop_ == DeviceQueue::kDrop ? DeviceQueue::kDrop : deviceQueue;
        dropPending_ = true;
        interruptDevice();
    }
    changed_.notify_all();
}

void OutputStage::resumeWrites() {
    std::lock_guard lock(mutex_);
    writesCancelled_ = false;
}

void OutputStage::start(PendingOutput output) {
    SignalsBlockedHere forTheOutputThread;
    thread_ = std::thread(&OutputStage::run, this, std::move(output));
}

// Waits until no other stage without a track is still playing out or
// closing, or until this one is closed itself.
void OutputStage::waitForOthersToClose() {
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    r.changed.wait(lock, [this, &r] { return closing_ || r.unheld - (inRegistry_ ? 1 : 0) <= 0; });
}

bool OutputStage::openSink(PendingOutput& output) {
    auto sink = output.open(rate_, channels_);
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
    if (sink_ == nullptr) {
        error_ = ENODEV;
        changed_.notify_all();
        return false;
    }
    return true;
}

void OutputStage::run(PendingOutput output) {
    waitForOthersToClose();
    if (!closing_ && openSink(output)) {
        writeLoop();
        finish();
    }
    Registry& r = registry();
    {
        std::lock_guard registryLock(r.mutex);
        if (inRegistry_) {
            --r.unheld;
        }
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
    r.changed.notify_all();
}

// Under mutex_, which is let go while the device drops: the thread alone
// uses the sink, and a track may queue meanwhile.
void OutputStage::settleDrop(std::unique_lock<std::mutex>& lock) {
    if (!dropPending_) {
        return;
    }
    dropPending_ = false;
    const DeviceQueue what = deviceDrop_;
    lock.unlock();
    if (what == DeviceQueue::kDrop || sink_->delay() > rate_ * kKeepMs / 1000) {
        sink_->drop();
    }
    const long delay = sink_->delay();
    lock.lock();
    deviceDelay_ = delay;
}

// Lets out the frames that a tempo stage handed over with the stage still
// holds back, once no track has taken them up. Under mutex_.
bool OutputStage::flushHandedTempo(std::unique_lock<std::mutex>& lock) {
    std::unique_ptr<TempoStage> tempo = std::move(handedTempo_);
    if (tempo == nullptr) {
        return false;
    }
    lock.unlock();
    tempo->finish();
    std::vector<float> rest;
    std::vector<float> chunk(kChunkFrames * static_cast<std::size_t>(channels_));
    while (const std::size_t got = tempo->take(chunk.data(), kChunkFrames)) {
        rest.insert(rest.end(), chunk.begin(),
                    chunk.begin() + static_cast<long>(got * static_cast<std::size_t>(channels_)));
    }
    lock.lock();
    queue_.insert(queue_.end(), rest.begin(), rest.end());
    return !rest.empty();
}

void OutputStage::writeLoop() {
    const auto channels = static_cast<std::size_t>(channels_);
    std::vector<float> chunk(kChunkFrames * channels);
    std::unique_lock lock(mutex_);
    for (;;) {
        settleDrop(lock);
        if (closing_) {
            return;
        }
        if (queued() == 0) {
            if (handedOver_ && windowPassed()) {
                playingOut_ = true;
                if (flushHandedTempo(lock)) {
                    continue;
                }
                return;
            }
            // Idle: it looks again only while the device still plays
            // something, or when a hand-over's window ends.
            auto until = deviceDelay_ > 0 ? Clock::now() + kIdleLook : Clock::time_point::max();
            if (handedOver_) {
                until = std::min(until, handedAt_ + std::chrono::milliseconds(kHandOverWindowMs));
            }
            // Every change comes with a notification under this lock, and
            // the loop looks at the state afresh after any wake.
            if (until == Clock::time_point::max()) {
                changed_.wait(lock);
            } else {
                changed_.wait_until(lock, until);
            }
            lock.unlock();
            const long delay = sink_->delay();
            lock.lock();
            deviceDelay_ = delay;
            continue;
        }
        const std::size_t count = std::min(queued(), kChunkFrames);
        std::copy_n(queue_.begin(), count * channels, chunk.begin());
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(count * channels));
        inFlight_ = count;
        inDevice_ = true;
        lock.unlock();
        changed_.notify_all();  // room for the track
        applyVolume(chunk.data(), count, channels_, gain_.load(std::memory_order_relaxed));
        const int error = sink_->write(chunk.data(), count);
        const long delay = sink_->delay();
        lock.lock();
        inDevice_ = false;
        if (std::exchange(interruptSent_, false)) {
            sink_->rearm();
        }
        inFlight_ = 0;
        deviceDelay_ = delay;
        // ECANCELED comes only with a drop or a close, which the next turn
        // settles.
        if (error != 0 && error != ECANCELED) {
            error_ = error;  // kept with its cause: the track that feeds it ends
            queue_.clear();
            changed_.notify_all();
            return;
        }
    }
}

// Plays out what the device holds, unless the stage was closed or failed,
// and lets the sink go.
void OutputStage::finish() {
    bool keep;
    {
        std::lock_guard lock(mutex_);
        keep = !closing_ && error_ == 0;
        inDevice_ = keep;
    }
    if (keep) {
        sink_->drain();
    } else {
        sink_->drop();
    }
    sink_->close();
    std::lock_guard lock(mutex_);
    inDevice_ = false;
}

}  // namespace mci
