#include "fakes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <sstream>

#include "platform/mci/mci.h"
#include "player/events.h"
#include "tcconio/keyboard.h"

namespace fake {
namespace {

Media state;
std::size_t taken = 0;
std::deque<char> keys;
unsigned slept = 0;
unsigned events = 0;
// Virtual time slept since the last key was taken: a program that polls
// past the end of its script would otherwise wait for ever.
unsigned sleptSinceKey = 0;
constexpr unsigned kLongestWaitForKey = 3600 * 1000;

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string word; in >> word;) {
        result.push_back(word);
    }
    return result;
}

int reply(char* buffer, unsigned size, const std::string& text) {
    if (buffer != nullptr && size > 0) {
        std::snprintf(buffer, size, "%s", text.c_str());
    }
    return 0;
}

int refuse(int code) {
    errno = code == MCIERR_INVALID_FILE ? EINVAL : ENODEV;
    return code;
}

int open(const std::vector<std::string>& w) {
    std::string alias = w.size() >= 4 ? w.back() : w[1];
    if (state.openAliases.count(alias) != 0) {
        return refuse(MCIERR_DUPLICATE_ALIAS);
    }
    if (state.missingFiles.count(w[1]) != 0) {
        return refuse(MCIERR_FILE_NOT_FOUND);
    }
    if (state.refusedFiles.count(w[1]) != 0) {
        return refuse(MCIERR_INVALID_FILE);
    }
    state.openAliases.insert(alias);
    state.fileOf[alias] = w[1];
    if (alias == "MP3_Device") {
        state.mode = "stopped";
    }
    return 0;
}

// "set A speed N", "setaudio A volume to N", "play A from N": N as the
// engine reads it, decimal digits (270 otherwise), not negative, at most 18
// digits and within low..high (282 otherwise; a high of 0 is a length that
// the test did not set). A value taken is kept in *kept.
int setValue(const std::vector<std::string>& w, std::size_t at, long long low, long long high,
             std::string* kept) {
    if (at >= w.size()) {
        return refuse(MCIERR_MISSING_PARAMETER);
    }
    const bool negative = w[at][0] == '-';
    const std::string digits = w[at].substr(negative ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
        return refuse(MCIERR_BAD_INTEGER);
    }
    if (negative || digits.size() > 18 || std::stoll(digits) < low ||
        (high > 0 && std::stoll(digits) > high)) {
        return refuse(MCIERR_OUTOFRANGE);
    }
    if (kept != nullptr) {
        *kept = w[at];
    }
    return 0;
}

// Play, pause, resume and stop of MP3_Device, as they change the mode.
int changeMode(const std::vector<std::string>& w) {
    if (w[0] == "play" && w.size() >= 4 && w[2] == "from") {
        if (const int code = setValue(w, 3, 0, std::stoll(state.length), nullptr); code != 0) {
            return code;
        }
    }
    std::string& mode = state.mode;
    if (w[0] == "play" || (w[0] == "resume" && mode == "paused")) {
        mode = "playing";
    } else if (w[0] == "pause" && mode == "playing") {
        mode = "paused";
    } else if (w[0] == "stop") {
        mode = "stopped";
    }
    return 0;
}

// The length of a file, asked by its name or by its alias.
int fileLength(const std::string& name, char* buffer, unsigned size) {
    auto alias = state.fileOf.find(name);
    const std::string& file = alias != state.fileOf.end() ? alias->second : name;
    auto length = state.fileLengths.find(file);
    if (length != state.fileLengths.end()) {
        return reply(buffer, size, length->second);
    }
    return refuse(state.missingFiles.count(file) != 0 ? MCIERR_INVALID_DEVICE_NAME
                                                      : MCIERR_INVALID_FILE);
}

int status(const std::vector<std::string>& w, char* buffer, unsigned size) {
    const bool timed = state.endsAt != 0;
    if (w[2] == "mode") {
        return reply(buffer, size, timed && slept >= state.endsAt ? "stopped" : state.mode);
    }
    if (w[2] == "position" && timed) {
        long long left = static_cast<long long>(state.endsAt) - slept;
        return reply(buffer, size, std::to_string(std::stoll(state.length) - std::max(left, 0LL)));
    }
    if (w[2] == "position") {
        return reply(buffer, size, state.position);
    }
    if (w[2] == "replaygain") {
        return reply(buffer, size, state.gainKind == "off" ? "off" : state.gain);
    }
    if (w[2] == "speed" || w[2] == "volume") {
        return reply(buffer, size, w[2] == "speed" ? state.speed : state.volume);
    }
    return reply(buffer, size, state.length);
}

}  // namespace

Media& media() {
    return state;
}

void resetMedia() {
    state = Media{};
    taken = 0;
}

std::vector<std::string> takeCommands() {
    std::vector<std::string> recent(state.commands.begin() + static_cast<long>(taken),
                                    state.commands.end());
    taken = state.commands.size();
    return recent;
}

std::vector<std::string> takeActions() {
    std::vector<std::string> actions;
    for (std::string& command : takeCommands()) {
        if (command.rfind("status ", 0) != 0) {
            actions.push_back(std::move(command));
        }
    }
    return actions;
}

std::vector<std::string> openedSongs(const std::vector<std::string>& commands) {
    std::vector<std::string> songs;
    for (const std::string& command : commands) {
        std::vector<std::string> w = words(command);
        if (w.size() == 6 && w[0] == "open" && w[5] == "MP3_Device") {
            songs.push_back(w[1]);
        }
    }
    return songs;
}

void pressKeys(const std::string& more) {
    keys.insert(keys.end(), more.begin(), more.end());
}

void resetKeyboard() {
    keys.clear();
    slept = 0;
    events = 0;
    sleptSinceKey = 0;
}

unsigned sleptMilliseconds() {
    return slept;
}

unsigned eventsDelivered() {
    return events;
}

// "setaudio A replaygain to off|track|album".
int setGainKind(const std::vector<std::string>& w) {
    static const std::set<std::string> kinds = {"off", "track", "album"};
    if (w.size() != 5 || kinds.count(w[4]) == 0) {
        return refuse(w.size() < 5 ? MCIERR_MISSING_PARAMETER : MCIERR_UNRECOGNIZED_KEYWORD);
    }
    state.gainKind = w[4];
    return 0;
}

}  // namespace fake

using fake::state;

int mciSendString(const char* command, char* reply, unsigned replySize) {
    state.commands.emplace_back(command);
    state.sentAt.push_back(fake::slept);
    std::vector<std::string> w = fake::words(command);
    if (w.size() < 2) {
        return fake::refuse(MCIERR_UNRECOGNIZED_COMMAND);
    }
    if (state.failing.count(w[0]) != 0) {
        errno = EIO;
        return MCIERR_HARDWARE;
    }
    if (state.outOfRange.count(command) != 0) {
        return fake::refuse(MCIERR_OUTOFRANGE);
    }
    if (w[0] == "open") {
        return fake::open(w);
    }
    if (w[0] == "status" && w.size() == 3 && w[2] == "length" && w[1] != "MP3_Device") {
        return fake::fileLength(w[1], reply, replySize);
    }
    static const std::set<std::string> verbs = {"play",  "pause",  "resume", "stop",
                                                "close", "status", "set",    "setaudio"};
    if (verbs.count(w[0]) == 0) {
        return fake::refuse(MCIERR_UNRECOGNIZED_COMMAND);
    }
    if (state.openAliases.count(w[1]) == 0) {
        return fake::refuse(MCIERR_INVALID_DEVICE_NAME);
    }
    if (w[0] == "play" && w[1] == "MP3_Device" && w.back() == "notify") {
        state.notifying = true;
    }
    if (w[0] == "close") {
        state.openAliases.erase(w[1]);
        state.fileOf.erase(w[1]);
        state.notifying = state.notifying && w[1] != "MP3_Device";
    } else if (w[0] == "status" && w.size() == 3) {
        return fake::status(w, reply, replySize);
    } else if (w[0] == "set") {
        return fake::setValue(w, 3, 100, 2000, &state.speed);
    } else if (w[0] == "setaudio" && w.size() > 2 && w[2] == "replaygain") {
        return fake::setGainKind(w);
    } else if (w[0] == "setaudio" && w.size() > 2 && w[2] == "volume") {
        return fake::setValue(w, 4, 0, 1000, &state.volume);
    } else if (w[1] == "MP3_Device") {
        return fake::changeMode(w);
    }
    return 0;
}

bool mciGetErrorString(int code, char* text, unsigned size) {
    std::snprintf(text, size, "error %d", code);
    return true;
}

const char* mciAudioOutput() {
    return "silent, no device";
}

int _getch() {
    if (fake::keys.empty()) {
        throw fake::NoMoreKeys();
    }
    char key = fake::keys.front();
    fake::keys.pop_front();
    fake::sleptSinceKey = 0;
    return static_cast<unsigned char>(key);
}

int _kbhit() {
    return fake::keys.empty() ? 0 : 1;
}

void _sleep(unsigned ms) {
    fake::slept += ms;
}

unsigned GetTickCount() {
    return fake::slept;
}

unsigned eventCount() {
    return fake::events;
}

bool sleepUntilKey(unsigned ms) {
    if (!fake::keys.empty()) {
        return true;
    }
    const unsigned end = state.endsAt;
    if (state.notifying && end != 0 && fake::slept < end && end - fake::slept <= ms) {
        ms = end - fake::slept;  // the engine's event ends the wait
        ++fake::events;
    }
    fake::slept += ms;
    fake::sleptSinceKey += ms;
    if (fake::sleptSinceKey > fake::kLongestWaitForKey) {
        throw fake::NoMoreKeys();
    }
    return false;
}

// The session bus is never connected in these tests: nothing is watched.
bool watchDescriptor(int, EventHandler, void*) {
    return false;
}
void unwatchDescriptor(int) {}
