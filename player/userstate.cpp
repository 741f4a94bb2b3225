#include "player/userstate.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/statefile.h"

namespace {

// "folderplay state 2", the volume, the modes of play, then each point as a
// line of three numbers (position in seconds, bytes of the folder, bytes of
// the name) followed by the folder and the name, each on a line of its own.
// Counted bytes, so that a folder may hold any byte but a zero. Version 1 had
// no modes; each mode's line may be missing, and then it keeps its default.
constexpr std::string_view kHeader = "folderplay state ";
constexpr unsigned long long kVersion = 2;
constexpr unsigned long long kOldestVersion = 1;

// A mode's line: its key and the words of its values, the value's number
// being the word's place.
struct ModeLine {
    std::string_view key;
    std::string_view words[4];
    int UserState::*field;
};
constexpr ModeLine kModeLines[] = {
    {"shuffle ", {"0", "1"}, &UserState::shuffle},
    {"repeat ", {"folder", "song", "off"}, &UserState::repeatMode},
    {"notices ", {"0", "1"}, &UserState::notices},
    {"gain ", {"off", "track", "album", "auto"}, &UserState::gainMode},
};

// A read position in bytes that may be anything; every step checks the end.
struct Cursor {
    const char* at;
    const char* end;
};

bool take(Cursor& c, std::string_view text) {
    if (static_cast<std::size_t>(c.end - c.at) < text.size() ||
        std::memcmp(c.at, text.data(), text.size()) != 0) {
        return false;
    }
    c.at += text.size();
    return true;
}

// A decimal number of at most ten digits, not above max.
bool takeNumber(Cursor& c, unsigned long long max, unsigned long long* value) {
    unsigned long long number = 0;
    int digits = 0;
    while (c.at < c.end && *c.at >= '0' && *c.at <= '9' && digits < 10) {
        number = number * 10 + static_cast<unsigned>(*c.at - '0');
        ++c.at;
        ++digits;
    }
    *value = number;
    return digits > 0 && number <= max;
}

// count bytes without a zero among them, then a line end, into out.
bool takeLine(Cursor& c, unsigned long long count, char* out) {
    if (static_cast<unsigned long long>(c.end - c.at) < count ||
        std::memchr(c.at, 0, count) != nullptr) {
        return false;
    }
    std::memcpy(out, c.at, count);
    out[count] = 0;
    c.at += count;
    return take(c, "\n");
}

bool takePoint(Cursor& c, ResumePoint* point) {
    unsigned long long seconds = 0;
    unsigned long long folderBytes = 0;
    unsigned long long nameBytes = 0;
    if (!take(c, "resume ") || !takeNumber(c, 0xFFFFFFFFULL, &seconds) || !take(c, " ") ||
        !takeNumber(c, kFolderPathSize - 1, &folderBytes) || !take(c, " ") ||
        !takeNumber(c, kCellSize - 1, &nameBytes) || !take(c, "\n") ||
        !takeLine(c, folderBytes, point->folder) || !takeLine(c, nameBytes, point->name)) {
        return false;
    }
    point->seconds = static_cast<unsigned>(seconds);
    return point->folder[0] == '/' && point->name[0] != 0;
}

// The mode's line when the bytes begin with its key; false when they begin
// with it but the rest is no value of it.
bool takeMode(Cursor& c, const ModeLine& mode, UserState* state) {
    if (!take(c, mode.key)) {
        return true;
    }
    for (int value = 0; value < 4 && !mode.words[value].empty(); ++value) {
        if (take(c, mode.words[value]) && take(c, "\n")) {
            state->*mode.field = value;
            return true;
        }
    }
    return false;
}

bool takeState(Cursor& c, UserState* state) {
    unsigned long long version = 0;
    unsigned long long volume = 0;
    if (!take(c, kHeader) || !takeNumber(c, ~0ULL, &version) || version < kOldestVersion ||
        version > kVersion || !take(c, "\n") || !take(c, "volume ") ||
        !takeNumber(c, kFullVolume, &volume) || !take(c, "\n")) {
        return false;
    }
    state->volume = static_cast<int>(volume);
    for (const ModeLine& mode : kModeLines) {
        if (version > 1 && !takeMode(c, mode, state)) {
            return false;
        }
    }
    while (c.at < c.end) {
        if (state->count == kResumeFolders || !takePoint(c, &state->points[state->count])) {
            return false;
        }
        ++state->count;
    }
    return true;
}

// The unit's own record: the file's bytes, for reading and for writing;
// nothing is kept in it from one call to the next.
struct FileBuffer {
    char bytes[kUserStateBytes];
};
FileBuffer file;

}  // namespace

void clearUserState(UserState* state) {
    state->volume = kFullVolume;
    state->shuffle = 0;
    state->repeatMode = kRepeatFolder;
    state->notices = 0;
    state->gainMode = kGainOff;
    state->count = 0;
}

bool parseUserState(const char* bytes, std::size_t size, UserState* state) {
    clearUserState(state);
    Cursor c{bytes, bytes + size};
    if (!takeState(c, state)) {
        clearUserState(state);
        return false;
    }
    return true;
}

std::size_t formatUserState(const UserState& state, char* out, std::size_t size) {
    std::size_t used = 0;
    auto add = [&](const char* text, std::size_t length) {
        if (used < size && length <= size - used) {
            std::memcpy(out + used, text, length);
        }
        used += length;
    };
    char line[96];
    int length =
        std::snprintf(line, sizeof line, "%.*s%llu\nvolume %d\n", static_cast<int>(kHeader.size()),
                      kHeader.data(), kVersion, state.volume);
    add(line, static_cast<std::size_t>(length));
    for (const ModeLine& mode : kModeLines) {
        // A value that has no word (none does) is written as the default.
        const int value = state.*mode.field;
        const bool known = value >= 0 && value < 4 && !mode.words[value].empty();
        const std::string_view word = mode.words[known ? value : 0];
        add(mode.key.data(), mode.key.size());
        add(word.data(), word.size());
        add("\n", 1);
    }
    for (int p = 0; p < state.count; ++p) {
        const ResumePoint& point = state.points[p];
        const std::size_t folderBytes = strnlen(point.folder, kFolderPathSize - 1);
        const std::size_t nameBytes = strnlen(point.name, kCellSize - 1);
        length = std::snprintf(line, sizeof line, "resume %u %zu %zu\n", point.seconds, folderBytes,
                               nameBytes);
        add(line, static_cast<std::size_t>(length));
        add(point.folder, folderBytes);
        add("\n", 1);
        add(point.name, nameBytes);
        add("\n", 1);
    }
    return used <= size ? used : 0;
}

void readUserState(UserState* state) {
    const long got = readUserStateFile(file.bytes, sizeof file.bytes);
    if (got < 0 || !parseUserState(file.bytes, static_cast<std::size_t>(got), state)) {
        clearUserState(state);
    }
}

bool writeUserState(const UserState& state) {
    const std::size_t size = formatUserState(state, file.bytes, sizeof file.bytes);
    return size > 0 && writeUserStateFile(file.bytes, size);
}

const ResumePoint* findResumePoint(const UserState& state, const char* folder) {
    for (int p = 0; p < state.count; ++p) {
        if (std::strcmp(state.points[p].folder, folder) == 0) {
            return &state.points[p];
        }
    }
    return nullptr;
}

void putResumePoint(UserState* state, const char* folder, const char* name, unsigned seconds) {
    int at = 0;
    while (at < state->count && std::strcmp(state->points[at].folder, folder) != 0) {
        ++at;
    }
    if (at == state->count) {
        at = state->count < kResumeFolders ? state->count++ : kResumeFolders - 1;
    }
    // The others move down a place, the least recent of them out when full.
    std::memmove(&state->points[1], &state->points[0], sizeof(ResumePoint) * at);
    ResumePoint& point = state->points[0];
    std::snprintf(point.folder, sizeof point.folder, "%s", folder);
    copyCell(point.name, name);
    point.seconds = seconds;
}
