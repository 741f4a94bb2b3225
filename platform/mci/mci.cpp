// The command layer: reads command texts, keeps the table of open devices
// under their aliases, and turns every failure into a code and a true errno.
#include "platform/mci/mci.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/mci/audiosink.h"
#include "platform/mci/command.h"
#include "platform/mci/engine.h"
#include "platform/mci/mp3length.h"
#include "platform/mci/replaygain.h"
#include "platform/shortname.h"
#include "platform/text.h"

namespace mci {
namespace {

int defaultErrno(int code) {
    switch (code) {
        case MCIERR_FILE_NOT_FOUND:
            return ENOENT;
        case MCIERR_OUTOFRANGE:
            return ERANGE;
        case MCIERR_DUPLICATE_ALIAS:
            return EBUSY;
        case MCIERR_INVALID_DEVICE_NAME:
        case MCIERR_INVALID_DEVICE_ID:
            return ENODEV;
        case MCIERR_OUT_OF_MEMORY:
            return ENOMEM;
        case MCIERR_FILE_READ:
        case MCIERR_HARDWARE:
            return EIO;
        case MCIERR_PARAM_OVERFLOW:
            return ENOBUFS;
        default:
            return EINVAL;
    }
}

// A failure without a known cause gets the usual one for its code when it
// reaches mciSendString.
Failure failWith(int code, int error = 0) {
    return {code, error};
}

// Every open alias with the source it stands for and the absolute path it
// was opened from. One caller thread, as the player is single-threaded.
class DeviceTable {
  public:
    const std::shared_ptr<Source>* find(std::string_view alias) {
        Entry* entry = entryOf(alias);
        return entry != nullptr ? &entry->source : nullptr;
    }

    Source* findByPath(const std::string& path) {
        for (auto& entry : entries_) {
            if (entry.path == path) {
                return entry.source.get();
            }
        }
        return nullptr;
    }

    void add(std::string alias, std::string path, std::shared_ptr<Source> source) {
        entries_.push_back({std::move(alias), std::move(path), std::move(source), {}});
    }

    // "setaudio NAME replaygain to KIND": the source's gain from its tags.
    void setGainKind(std::string_view alias, GainKind kind) {
        if (Entry* entry = entryOf(alias)) {
            const float volumeGain = gainOf(Engine::instance().volume());
            entry->source->setGain(entry->gain.setKind(kind, entry->source->fd(), volumeGain));
        }
    }

    // The cap of every gain depends on the volume.
    void volumeChanged(int volume) {
        for (auto& entry : entries_) {
            if (entry.gain.on()) {
                entry.source->setGain(entry.gain.setVolume(gainOf(volume)));
            }
        }
    }

    std::string gainText(std::string_view alias) {
        const Entry* entry = entryOf(alias);
        return entry != nullptr ? entry->gain.text() : std::string{};
    }

    void remove(std::string_view alias) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (sameWord(it->alias, alias)) {
                Engine::instance().close(*it->source);
                entries_.erase(it);
                return;
            }
        }
    }

  private:
    struct Entry {
        std::string alias;
        std::string path;
        std::shared_ptr<Source> source;
        SongGain gain;
    };

    // Aliases are unique (an open under one in use fails).
    Entry* entryOf(std::string_view alias) {
        for (auto& entry : entries_) {
            if (sameWord(entry.alias, alias)) {
                return &entry;
            }
        }
        return nullptr;
    }

    std::vector<Entry> entries_;
};

DeviceTable& devices() {
    // Never destroyed: the engine may hold a source until the very end.
    static DeviceTable* table = new DeviceTable;
    return *table;
}

// Writes text as the reply: bounded, always terminated. Without a buffer
// the reply is not wanted; a buffer of no bytes is too small for any reply.
Failure reply(std::string_view text, char* out, unsigned size) {
    if (out == nullptr) {
        return {};
    }
    if (size == 0) {
        return failWith(MCIERR_PARAM_OVERFLOW);
    }
    return copyCut(text, out, size) < text.size() ? failWith(MCIERR_PARAM_OVERFLOW) : Failure{};
}

Failure replyNumber(long long value, char* out, unsigned size) {
    return reply(std::to_string(value), out, size);
}

// Turns a name as the player gives it (a file of the working directory, its
// short alias, or a path) into an absolute path.
Failure resolvePath(const std::string& name, std::string* path) {
    if (name.empty()) {
        return failWith(MCIERR_FILE_NOT_FOUND);
    }
    std::string local = name;
    if (name.find('/') == std::string::npos) {
        char resolved[PATH_MAX];
        errno = 0;
        if (!ResolveShortName(name.c_str(), resolved, sizeof resolved)) {
            return failWith(MCIERR_FILE_NOT_FOUND, errno == ENAMETOOLONG ? errno : ENOENT);
        }
        local = resolved;
    }
    if (local.front() == '/') {
        *path = local;
        return {};
    }
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        return failWith(MCIERR_FILE_NOT_FOUND, errno);
    }
    *path = std::string(cwd) + "/" + local;
    return {};
}

using Words = std::vector<std::string>;

Failure openDevice(const Words& words) {
    if (words.size() < 2) {
        return failWith(MCIERR_MISSING_PARAMETER);
    }
    std::string alias = words[1];
    for (std::size_t i = 2; i < words.size(); i += 2) {
        const bool isType = sameWord(words[i], "type");
        if (!isType && !sameWord(words[i], "alias")) {
            return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
        }
        if (i + 1 >= words.size() || words[i + 1].empty()) {
            return failWith(MCIERR_MISSING_PARAMETER);
        }
        if (isType && !sameWord(words[i + 1], "MPEGVideo")) {
            return failWith(MCIERR_INVALID_DEVICE_NAME);
        }
        if (!isType) {
            alias = words[i + 1];
        }
    }
    if (devices().find(alias) != nullptr) {
        return failWith(MCIERR_DUPLICATE_ALIAS);
    }
    std::string path;
    if (const Failure failure = resolvePath(words[1], &path); failure.code != 0) {
        return failure;
    }
    std::shared_ptr<Source> source;
    if (const Failure failure = Source::open(path, &source); failure.failed()) {
        return failure;
    }
    Engine::instance();  // its thread starts with the first open, not at a play
    devices().add(std::move(alias), std::move(path), std::move(source));
    return {};
}

using SourceRef = std::shared_ptr<Source>;

// Looks up the source a command names in words[1].
Failure findDevice(const Words& words, const SourceRef** device) {
    if (words.size() < 2) {
        return failWith(MCIERR_MISSING_PARAMETER);
    }
    *device = devices().find(words[1]);
    return *device != nullptr ? Failure{} : failWith(MCIERR_INVALID_DEVICE_NAME);
}

// Commands that take a device and nothing else.
Failure simpleCommand(const Words& words, void (Engine::*action)(Source&)) {
    const SourceRef* device = nullptr;
    if (const Failure failure = findDevice(words, &device); failure.code != 0) {
        return failure;
    }
    if (words.size() > 2) {
        return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
    }
    (Engine::instance().*action)(**device);
    return {};
}

Failure closeDevice(const Words& words) {
    const SourceRef* device = nullptr;
    if (const Failure failure = findDevice(words, &device); failure.code != 0) {
        return failure;
    }
    if (words.size() > 2) {
        return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
    }
    devices().remove(words[1]);
    return {};
}

// Reads the number after a keyword, words[at].
Failure numberAfter(const Words& words, std::size_t at, long long* value) {
    if (at >= words.size()) {
        return failWith(MCIERR_MISSING_PARAMETER);
    }
    if (const int code = parseNumber(words[at], value); code != 0) {
        return failWith(code);
    }
    return {};
}

// "play ALIAS [from MS] [notify]". With notify, the device signals every end
// of a track that plays to its end on trackEndDescriptor().
Failure playDevice(Words words) {
    const SourceRef* device = nullptr;
    if (const Failure failure = findDevice(words, &device); failure.code != 0) {
        return failure;
    }
    const bool notify = words.size() > 2 && sameWord(words.back(), "notify");
    if (notify) {
        words.pop_back();
    }
    long long ms = 0;
    const bool from = words.size() > 2;
    if (from) {
        if (!sameWord(words[2], "from")) {
            return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
        }
        if (const Failure failure = numberAfter(words, 3, &ms); failure.code != 0) {
            return failure;
        }
        if (words.size() > 4) {
            return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
        }
    }
    Engine& engine = Engine::instance();
    if (from && ms > (*device)->lengthMs()) {
        return {MCIERR_OUTOFRANGE, ERANGE};
    }
    if (notify) {
        engine.notifyAtEnd(**device);
    }
    if (from) {
        engine.playFrom(*device, ms);
    } else {
        engine.play(*device);
    }
    return {};
}

Failure setDevice(const Words& words) {
    const SourceRef* device = nullptr;
    if (const Failure failure = findDevice(words, &device); failure.code != 0) {
        return failure;
    }
    if (words.size() < 3) {
        return failWith(MCIERR_MISSING_PARAMETER);
    }
    if (!sameWord(words[2], "speed")) {
        return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
    }
    long long speed = 0;
    if (const Failure failure = numberAfter(words, 3, &speed); failure.code != 0) {
        return failure;
    }
    if (words.size() > 4) {
        return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
    }
    if (speed < kMinSpeed || speed > kMaxSpeed) {
        return failWith(MCIERR_OUTOFRANGE);
    }
    Engine::instance().setSpeed(**device, static_cast<int>(speed));
    return {};
}

// "setaudio NAME replaygain to off|track|album": which of the song's gain
// tags it plays at.
Failure setGain(const Words& words) {
    if (words.size() < 5) {
        return failWith(MCIERR_MISSING_PARAMETER);
    }
    const std::optional<GainKind> kind = gainKindNamed(words[4]);
    if (!kind.has_value() || words.size() > 5) {
        return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
    }
    devices().setGainKind(words[1], *kind);
    return {};
}

// "setaudio NAME volume to N": N in thousandths of full, 0 to 1000.
Failure setAudio(const Words& words) {
    const SourceRef* device = nullptr;
    if (const Failure failure = findDevice(words, &device); failure.code != 0) {
        return failure;
    }
    if (words.size() < 4) {
        return failWith(MCIERR_MISSING_PARAMETER);
    }
    const bool gain = sameWord(words[2], "replaygain");
    if ((!gain && !sameWord(words[2], "volume")) || !sameWord(words[3], "to")) {
        return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
    }
    if (gain) {
        return setGain(words);
    }
    long long volume = 0;
    if (const Failure failure = numberAfter(words, 4, &volume); failure.code != 0) {
        return failure;
    }
    if (words.size() > 5) {
        return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
    }
    if (volume > kFullVolume) {
        return failWith(MCIERR_OUTOFRANGE);
    }
    Engine::instance().setVolume(static_cast<int>(volume));
    devices().volumeChanged(static_cast<int>(volume));
    return {};
}

const char* modeText(Mode mode) {
    switch (mode) {
        case Mode::kPlaying:
            return "playing";
        case Mode::kPaused:
            return "paused";
        case Mode::kStopped:
            break;
    }
    return "stopped";
}

// "status NAME length" with a file name instead of an alias measures the
// file without opening a device. A file that a device has open was measured
// when it was opened: its length is taken from there, so that opening a song
// and asking for its length by name reads the file once.
Failure measureFile(const std::string& name, char* out, unsigned size) {
    std::string path;
    if (const Failure failure = resolvePath(name, &path); failure.code != 0) {
        return failWith(MCIERR_INVALID_DEVICE_NAME, failure.error);
    }
    if (Source* source = devices().findByPath(path)) {
        return replyNumber(source->lengthMs(), out, size);
    }
    Mp3Facts facts;
    if (const Failure failure = measureMp3Path(path.c_str(), &facts); failure.failed()) {
        return failure;
    }
    return replyNumber(facts.lengthMs, out, size);
}

Failure statusDevice(const Words& words, char* out, unsigned size) {
    if (words.size() < 3) {
        return failWith(MCIERR_MISSING_PARAMETER);
    }
    if (words.size() > 3) {
        return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
    }
    const std::string& item = words[2];
    const SourceRef* device = devices().find(words[1]);
    if (device == nullptr) {
        return sameWord(item, "length") ? measureFile(words[1], out, size)
                                        : failWith(MCIERR_INVALID_DEVICE_NAME);
    }
    Source& source = **device;
    Engine& engine = Engine::instance();
    if (sameWord(item, "mode")) {
        return reply(modeText(engine.mode(source)), out, size);
    }
    if (sameWord(item, "length")) {
        return replyNumber(source.lengthMs(), out, size);
    }
    if (sameWord(item, "position")) {
        return replyNumber(engine.positionMs(source), out, size);
    }
    if (sameWord(item, "volume")) {
        return replyNumber(engine.volume(), out, size);
    }
    if (sameWord(item, "speed")) {
        return replyNumber(engine.speed(source), out, size);
    }
    if (sameWord(item, "replaygain")) {
        return reply(devices().gainText(words[1]), out, size);
    }
    return failWith(MCIERR_UNRECOGNIZED_KEYWORD);
}

Failure dispatch(const Words& words, char* out, unsigned size) {
    if (words.empty()) {
        return failWith(MCIERR_UNRECOGNIZED_COMMAND);
    }
    const std::string& verb = words[0];
    if (sameWord(verb, "open")) {
        return openDevice(words);
    }
    if (sameWord(verb, "play")) {
        return playDevice(words);
    }
    if (sameWord(verb, "status")) {
        return statusDevice(words, out, size);
    }
    if (sameWord(verb, "set")) {
        return setDevice(words);
    }
    if (sameWord(verb, "setaudio")) {
        return setAudio(words);
    }
    if (sameWord(verb, "pause")) {
        return simpleCommand(words, &Engine::pause);
    }
    if (sameWord(verb, "resume")) {
        return simpleCommand(words, &Engine::resume);
    }
    if (sameWord(verb, "stop")) {
        return simpleCommand(words, &Engine::stop);
    }
    if (sameWord(verb, "close")) {
        return closeDevice(words);
    }
    return failWith(MCIERR_UNRECOGNIZED_COMMAND);
}

Failure interpret(const char* command, char* out, unsigned size) {
    if (command == nullptr) {
        return failWith(MCIERR_UNRECOGNIZED_COMMAND);
    }
    const std::size_t length = strnlen(command, kMaxCommandLength + 1);
    if (length > kMaxCommandLength) {
        return failWith(MCIERR_PARAM_OVERFLOW, E2BIG);
    }
    Words words;
    if (const int code = splitWords({command, length}, &words); code != 0) {
        return failWith(code);
    }
    return dispatch(words, out, size);
}

}  // namespace

std::shared_ptr<Source> findSource(std::string_view alias) {
    const std::shared_ptr<Source>* source = devices().find(alias);
    return source != nullptr ? *source : nullptr;
}

}  // namespace mci

int mciSendString(const char* command, char* reply, unsigned replySize) {
    // A failed query leaves an empty reply, never the text of an earlier one.
    if (reply != nullptr && replySize > 0) {
        reply[0] = '\0';
    }
    mci::Failure failure;
    try {
        failure = mci::interpret(command, reply, replySize);
    } catch (const std::bad_alloc&) {
        failure = mci::failWith(MCIERR_OUT_OF_MEMORY);
    } catch (const std::system_error& error) {
        // A thread that could not be started.
        failure = mci::failWith(MCIERR_HARDWARE, error.code().value());
    }
    // The one place where a failure's cause becomes errno.
    if (failure.failed()) {
        errno = failure.error != 0 ? failure.error : mci::defaultErrno(failure.code);
    }
    return failure.code;
}

namespace {

struct ErrorText {
    int code;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {0, "The command was carried out."},
    {MCIERR_INVALID_DEVICE_ID, "The device identifier is not valid."},
    {MCIERR_UNRECOGNIZED_KEYWORD, "A word of the command is not understood by the device."},
    {MCIERR_UNRECOGNIZED_COMMAND, "The command is not understood."},
    {MCIERR_HARDWARE, "The audio output failed."},
    {MCIERR_INVALID_DEVICE_NAME, "No device is open under that name."},
    {MCIERR_OUT_OF_MEMORY, "There is not enough memory for this command."},
    {MCIERR_BAD_INTEGER, "A number of the command is not a valid integer."},
    {MCIERR_MISSING_PARAMETER, "The command lacks a parameter."},
    {MCIERR_FILE_NOT_FOUND, "The file was not found."},
    {MCIERR_OUTOFRANGE, "A value of the command is out of range."},
    {MCIERR_DUPLICATE_ALIAS, "The alias is already in use by an open device."},
    {MCIERR_NO_CLOSING_QUOTE, "A closing quotation mark is missing."},
    {MCIERR_INVALID_FILE, "The file is not MPEG audio that this device can play."},
    {MCIERR_PARAM_OVERFLOW, "A text is too long: the command, or the reply for its buffer."},
    {MCIERR_FILE_READ, "The file could not be read."},
};

}  // namespace

bool mciGetErrorString(int code, char* text, unsigned size) {
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) {
            copyCut(entry.text, text, size);
            return true;
        }
    }
    copyCut("Unknown media-control error code.", text, size);
    return false;
}

const char* mciAudioOutput() {
    return mci::audioOutputName();
}

int mciNotifyDescriptor() {
    return mci::trackEndDescriptor();
}

void mciTakeNotify() {
    mci::takeTrackEnd();
}
