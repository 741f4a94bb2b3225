#include "platform/mci/audiosink.h"

#include <cerrno>
#include <mutex>
#include <utility>

#include "platform/mci/alsasink.h"
#include "platform/mci/silentsink.h"
#include "platform/mci/threadsignals.h"

namespace mci {

namespace {

// What the backend choice needs to remember across devices. Written by the
// command layer only (one caller thread), but guarded so that a playback
// thread reopening its sink stays safe.
struct OutputChoice {
    std::mutex mutex;
    bool forced = false;
    SilentClock clock;
    SinkFactory factory;
    const char* lastName = nullptr;
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

}  // namespace

std::unique_ptr<AudioSink> openAudioSink(long rate, int channels, int* error) {
    OutputChoice& c = choice();
    std::lock_guard lock(c.mutex);
    std::unique_ptr<AudioSink> sink;
    if (c.factory) {
        sink = c.factory(rate, channels);
    } else if (!c.forced) {
        sink = tryAlsa(rate, channels);
    }
    if (sink == nullptr) {
        sink = std::make_unique<SilentSink>(c.clock);
        if (const int failed = sink->open(rate, channels); failed != 0) {
            if (error != nullptr) {
                *error = failed;
            }
            return nullptr;
        }
    }
    c.lastName = sink->name();
    return sink;
}

const char* audioOutputName() {
    {
        OutputChoice& c = choice();
        std::lock_guard lock(c.mutex);
        if (c.lastName != nullptr) {
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
