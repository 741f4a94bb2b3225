#include "platform/mci/audiosink.h"

#include <mutex>
#include <utility>

#include "platform/mci/alsasink.h"
#include "platform/mci/silentsink.h"
#include "platform/mci/threadsignals.h"

namespace mci {

namespace {

// What the backend choice needs to remember across devices. Set by the
// command layer; read by the engine's thread, which opens the output.
struct OutputChoice {
    std::mutex mutex;
    bool forced = false;
    SilentClock clock;
    SinkFactory factory;
    const char* lastName = nullptr;
    int announced = 0;  // outputs that playback threads are about to open
};

OutputChoice& choice() {
    static OutputChoice* instance = new OutputChoice;  // outlives every device
    return *instance;
}

std::unique_ptr<AudioSink> tryAlsa(long rate, int channels) {
    SignalsBlockedHere forThreadsTheOutputStarts;
    auto sink = std::make_unique<AlsaSink>();
    if (sink->open(rate, channels) != 0) {
        return nullptr;
    }
    return sink;
}

// The choice is read and the outcome recorded under the lock, but the
// output is opened outside it: opening ALSA's default device takes
// milliseconds, for which audioOutputName must not wait.
std::unique_ptr<AudioSink> openSink(long rate, int channels, bool endsAnnouncement) {
    OutputChoice& c = choice();
    bool forced;
    SilentClock clock;
    SinkFactory factory;
    {
        std::lock_guard lock(c.mutex);
        forced = c.forced;
        clock = c.clock;
        factory = c.factory;
    }
    std::unique_ptr<AudioSink> sink;
    if (factory) {
        sink = factory(rate, channels);
    } else if (!forced) {
        sink = tryAlsa(rate, channels);
    }
    if (sink == nullptr) {
        sink = std::make_unique<SilentSink>(clock);
        if (sink->open(rate, channels) != 0) {
            sink = nullptr;
        }
    }
    std::lock_guard lock(c.mutex);
    if (sink != nullptr) {
        c.lastName = sink->name();
    }
    if (endsAnnouncement) {
        --c.announced;
    }
    return sink;
}

}  // namespace

std::unique_ptr<AudioSink> openAudioSink(long rate, int channels) {
    return openSink(rate, channels, false);
}

PendingOutput PendingOutput::announce() {
    OutputChoice& c = choice();
    std::lock_guard lock(c.mutex);
    ++c.announced;
    PendingOutput pending;
    pending.active_ = true;
    return pending;
}

PendingOutput::~PendingOutput() {
    if (active_) {
        OutputChoice& c = choice();
        std::lock_guard lock(c.mutex);
        --c.announced;
    }
}

std::unique_ptr<AudioSink> PendingOutput::open(long rate, int channels) {
    const bool announced = std::exchange(active_, false);
    return openSink(rate, channels, announced);
}

const char* audioOutputName() {
    {
        OutputChoice& c = choice();
        std::lock_guard lock(c.mutex);
        if (c.lastName != nullptr || c.announced > 0) {
            return c.lastName;
        }
    }
    // Nothing has played yet: probe with a common format and let it go.
    const auto probe = openAudioSink(44100, 2);
    return probe != nullptr ? probe->name() : "none";
}

void forceSilentOutput(SilentClock clock) {
    OutputChoice& c = choice();
    std::lock_guard lock(c.mutex);
    c.forced = true;
    c.clock = clock;
    c.lastName = nullptr;
}

void forceOutput(SinkFactory factory) {
    OutputChoice& c = choice();
    std::lock_guard lock(c.mutex);
    c.factory = std::move(factory);
    c.lastName = nullptr;
}

}  // namespace mci
