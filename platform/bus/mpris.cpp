// The media-player interfaces on the session bus, through sd-bus. Only this
// file knows of D-Bus; it runs on the player's thread alone.

#include "platform/bus/mpris.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/bus/connection.h"

namespace {

const char* const kObjectPath = "/org/mpris/MediaPlayer2";
const char* const kRootInterface = "org.mpris.MediaPlayer2";
const char* const kPlayerInterface = "org.mpris.MediaPlayer2.Player";
const char* const kBusName = "org.mpris.MediaPlayer2.folderplay";
const char* const kRefused = "org.mpris.MediaPlayer2.folderplay.Error.Refused";
const char* const kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
// Messages handled in one go: a flood from the bus must not hold the keys up.
constexpr int kMostMessagesAtOnce = 32;

// RequestName's answers that make the caller the owner.
constexpr uint32_t kPrimaryOwner = 1;
constexpr uint32_t kAlreadyOwner = 4;

struct Connection {
    sd_bus* bus = nullptr;
    MprisPlayer* player = nullptr;
    bool told = false;  // whether the bus was told a state, held in last
    MprisState last;
    std::string instanceName;  // the name asked for when the plain one is taken
};
Connection connection;

// Reads a UTF-8 character strictly: no overlong form, no surrogate, nothing
// above U+10FFFF. Returns its length, or 0 when the bytes are not one.
std::size_t utf8Length(const unsigned char* c, std::size_t available) {
    int length = *c < 0x80             ? 1
                 : (*c & 0xE0) == 0xC0 ? 2
                 : (*c & 0xF0) == 0xE0 ? 3
                 : (*c & 0xF8) == 0xF0 ? 4
                                       : 0;
    if (length == 0 || static_cast<std::size_t>(length) > available) {
        return 0;
    }
    uint32_t code = length == 1 ? *c : *c & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if ((c[k] & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (c[k] & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return static_cast<std::size_t>(length);
}

// Each MprisState field as sent, for telling which of them changed.
bool sameMetadata(const MprisState& a, const MprisState& b) {
    return a.trackId == b.trackId && a.title == b.title && a.artist == b.artist &&
           a.album == b.album && a.path == b.path && a.lengthMicroseconds == b.lengthMicroseconds;
}

// One entry of the metadata: a value of a basic type, or for "as" a list of
// the one text that value points to.
int appendEntry(sd_bus_message* reply, const char* key, const char* type, const void* value) {
    int r = sd_bus_message_open_container(reply, 'e', "sv");
    if (r >= 0)
        r = sd_bus_message_append_basic(reply, 's', key);
    if (r >= 0)
        r = sd_bus_message_open_container(reply, 'v', type);
    if (r >= 0)
        r = type[0] == 'a' ? sd_bus_message_append(reply, "as", 1, static_cast<const char*>(value))
                           : sd_bus_message_append_basic(reply, type[0], value);
    if (r >= 0)
        r = sd_bus_message_close_container(reply);
    if (r >= 0)
        r = sd_bus_message_close_container(reply);
    return r;
}

int appendMetadata(sd_bus_message* reply, const MprisState& state) {
    int r = sd_bus_message_open_container(reply, 'a', "{sv}");
    if (r < 0) {
        return r;
    }
    const bool known = !state.trackId.empty();
    r = appendEntry(reply, "mpris:trackid", "o", known ? state.trackId.c_str() : kNoTrack);
    if (r >= 0 && known) {
        const int64_t length = state.lengthMicroseconds;
        const std::string title = mprisValidText(state.title);
        const std::string url = mprisFileUrl(state.path);
        r = appendEntry(reply, "mpris:length", "x", &length);
        if (r >= 0)
            r = appendEntry(reply, "xesam:title", "s", title.c_str());
        if (r >= 0 && !state.path.empty())
            r = appendEntry(reply, "xesam:url", "s", url.c_str());
        // The artists are a list; the player knows one text, which may name several.
        const std::string artist = mprisValidText(state.artist);
        if (r >= 0 && !artist.empty())
            r = appendEntry(reply, "xesam:artist", "as", artist.c_str());
        const std::string album = mprisValidText(state.album);
        if (r >= 0 && !album.empty())
            r = appendEntry(reply, "xesam:album", "s", album.c_str());
    }
    return r < 0 ? r : sd_bus_message_close_container(reply);
}

int appendBool(sd_bus_message* reply, bool value) {
    int b = value ? 1 : 0;
    return sd_bus_message_append_basic(reply, 'b', &b);
}

int appendDouble(sd_bus_message* reply, double value) {
    return sd_bus_message_append_basic(reply, 'd', &value);
}

// The root interface's properties, which never change.
int getRootProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                    void*, sd_bus_error*) {
    if (std::strcmp(property, "CanQuit") == 0)
        return appendBool(reply, true);
    if (std::strcmp(property, "CanRaise") == 0)
        return appendBool(reply, false);
    if (std::strcmp(property, "HasTrackList") == 0)
        return appendBool(reply, false);
    if (std::strcmp(property, "Identity") == 0)
        return sd_bus_message_append(reply, "s", "Folderplay");
    if (std::strcmp(property, "DesktopEntry") == 0)
        return sd_bus_message_append(reply, "s", "folderplay");
    if (std::strcmp(property, "SupportedUriSchemes") == 0)
        return sd_bus_message_append(reply, "as", 1, "file");
    if (std::strcmp(property, "SupportedMimeTypes") == 0)
        return sd_bus_message_append(reply, "as", 1, "audio/mpeg");
    return -ENOENT;
}

int getPlayerProperty(sd_bus*, const char*, const char*, const char* property,
                      sd_bus_message* reply, void*, sd_bus_error*) {
    if (std::strcmp(property, "Position") == 0) {
        const int64_t position = connection.player->positionMicroseconds();
        return sd_bus_message_append_basic(reply, 'x', &position);
    }
    if (std::strcmp(property, "MinimumRate") == 0)
        return appendDouble(reply, kMprisMinimumRate);
    if (std::strcmp(property, "MaximumRate") == 0)
        return appendDouble(reply, kMprisMaximumRate);
    if (std::strcmp(property, "CanControl") == 0)
        return appendBool(reply, true);
    const MprisState state = connection.player->state();
    if (std::strcmp(property, "PlaybackStatus") == 0)
        return sd_bus_message_append(reply, "s", state.playbackStatus);
    if (std::strcmp(property, "Metadata") == 0)
        return appendMetadata(reply, state);
    if (std::strcmp(property, "Rate") == 0)
        return appendDouble(reply, state.rate);
    if (std::strcmp(property, "Volume") == 0)
        return appendDouble(reply, state.volume);
    if (std::strcmp(property, "Shuffle") == 0)
        return appendBool(reply, state.shuffle);
    if (std::strcmp(property, "LoopStatus") == 0)
        return sd_bus_message_append(reply, "s", state.loopStatus);
    if (std::strcmp(property, "CanGoNext") == 0)
        return appendBool(reply, state.canGoNext);
    if (std::strcmp(property, "CanGoPrevious") == 0)
        return appendBool(reply, state.canGoPrevious);
    if (std::strcmp(property, "CanPlay") == 0)
        return appendBool(reply, state.canPlay);
    if (std::strcmp(property, "CanPause") == 0)
        return appendBool(reply, state.canPause);
    if (std::strcmp(property, "CanSeek") == 0)
        return appendBool(reply, state.canSeek);
    return -ENOENT;
}

// A refusal becomes an error reply; the player's reason is its message.
int answer(sd_bus_message* call, const char* refusal, sd_bus_error* error) {
    if (refusal != nullptr) {
        return sd_bus_error_set_const(error, kRefused, refusal);
    }
    mprisRefresh();
    return sd_bus_reply_method_return(call, "");
}

struct CallName {
    const char* member;
    MprisCall call;
};
const CallName kCalls[] = {
    {"Quit", MprisCall::Quit},
    {"Raise", MprisCall::Raise},
    {"OpenUri", MprisCall::OpenUri},
    {"Next", MprisCall::Next},
    {"Previous", MprisCall::Previous},
    {"Pause", MprisCall::Pause},
    {"PlayPause", MprisCall::PlayPause},
    {"Stop", MprisCall::Stop},
    {"Play", MprisCall::Play},
    {"Seek", MprisCall::Seek},
    {"SetPosition", MprisCall::SetPosition},
};

int onMethod(sd_bus_message* call, void*, sd_bus_error* error) {
    MprisRequest request;
    const char* member = sd_bus_message_get_member(call);
    const CallName* found = nullptr;
    for (const CallName& entry : kCalls) {
        if (member != nullptr && std::strcmp(entry.member, member) == 0) {
            found = &entry;
        }
    }
    if (found == nullptr) {
        return sd_bus_error_set_const(error, SD_BUS_ERROR_UNKNOWN_METHOD, "no such method");
    }
    request.call = found->call;
    int r = 0;
    int64_t microseconds = 0;
    if (request.call == MprisCall::Seek) {
        r = sd_bus_message_read(call, "x", &microseconds);
    } else if (request.call == MprisCall::SetPosition) {
        const char* track = nullptr;
        r = sd_bus_message_read(call, "ox", &track, &microseconds);
        request.trackId = track != nullptr ? track : "";
    }
    if (r < 0) {
        return r;
    }
    request.microseconds = microseconds;
    return answer(call, connection.player->perform(request), error);
}

// A property's new value, read into the request that sets it.
int readNewValue(const char* property, sd_bus_message* value, MprisRequest* request) {
    if (std::strcmp(property, "Shuffle") == 0) {
        request->call = MprisCall::SetShuffle;
        int on = 0;
        const int r = sd_bus_message_read(value, "b", &on);
        request->shuffle = on != 0;
        return r;
    }
    if (std::strcmp(property, "LoopStatus") == 0) {
        request->call = MprisCall::SetLoopStatus;
        const char* status = nullptr;
        const int r = sd_bus_message_read(value, "s", &status);
        request->loopStatus = status != nullptr ? status : "";
        return r;
    }
    const bool isVolume = std::strcmp(property, "Volume") == 0;
    request->call = isVolume ? MprisCall::SetVolume : MprisCall::SetRate;
    return sd_bus_message_read(value, "d", isVolume ? &request->volume : &request->rate);
}

// A write of a property: the player takes the new value or refuses it.
int setProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* value,
                void*, sd_bus_error* error) {
    MprisRequest request;
    const int r = readNewValue(property, value, &request);
    if (r < 0) {
        return r;
    }
    if (const char* refusal = connection.player->perform(request)) {
        return sd_bus_error_set_const(error, kRefused, refusal);
    }
    return 0;
}

constexpr uint64_t kConst = SD_BUS_VTABLE_PROPERTY_CONST;
constexpr uint64_t kChanges = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;

const sd_bus_vtable kRootTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", onMethod, 0),
    SD_BUS_METHOD("Quit", "", "", onMethod, 0),
    SD_BUS_PROPERTY("CanQuit", "b", getRootProperty, 0, kConst),
    SD_BUS_PROPERTY("CanRaise", "b", getRootProperty, 0, kConst),
    SD_BUS_PROPERTY("HasTrackList", "b", getRootProperty, 0, kConst),
    SD_BUS_PROPERTY("Identity", "s", getRootProperty, 0, kConst),
    SD_BUS_PROPERTY("DesktopEntry", "s", getRootProperty, 0, kConst),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", getRootProperty, 0, kConst),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", getRootProperty, 0, kConst),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kPlayerTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", onMethod, 0),
    SD_BUS_METHOD("Previous", "", "", onMethod, 0),
    SD_BUS_METHOD("Pause", "", "", onMethod, 0),
    SD_BUS_METHOD("PlayPause", "", "", onMethod, 0),
    SD_BUS_METHOD("Stop", "", "", onMethod, 0),
    SD_BUS_METHOD("Play", "", "", onMethod, 0),
    SD_BUS_METHOD("Seek", "x", "", onMethod, 0),
    SD_BUS_METHOD("SetPosition", "ox", "", onMethod, 0),
    SD_BUS_METHOD("OpenUri", "s", "", onMethod, 0),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", getPlayerProperty, 0, kChanges),
    SD_BUS_WRITABLE_PROPERTY("Rate", "d", getPlayerProperty, setProperty, 0, kChanges),
    SD_BUS_WRITABLE_PROPERTY("Volume", "d", getPlayerProperty, setProperty, 0, kChanges),
    SD_BUS_WRITABLE_PROPERTY("Shuffle", "b", getPlayerProperty, setProperty, 0, kChanges),
    SD_BUS_WRITABLE_PROPERTY("LoopStatus", "s", getPlayerProperty, setProperty, 0, kChanges),
    SD_BUS_PROPERTY("Metadata", "a{sv}", getPlayerProperty, 0, kChanges),
    // The position moves all the time: clients ask for it, and a jump is told by Seeked.
    SD_BUS_PROPERTY("Position", "x", getPlayerProperty, 0, 0),
    SD_BUS_PROPERTY("MinimumRate", "d", getPlayerProperty, 0, kConst),
    SD_BUS_PROPERTY("MaximumRate", "d", getPlayerProperty, 0, kConst),
    SD_BUS_PROPERTY("CanGoNext", "b", getPlayerProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanGoPrevious", "b", getPlayerProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanPlay", "b", getPlayerProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanPause", "b", getPlayerProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanSeek", "b", getPlayerProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanControl", "b", getPlayerProperty, 0, kConst),
    SD_BUS_VTABLE_END,
};

// The plain name is taken by another player: this one goes by its own.
int onNameAnswer(sd_bus_message* reply, void*, sd_bus_error*) {
    uint32_t result = 0;
    if (!sd_bus_message_is_method_error(reply, nullptr) &&
        sd_bus_message_read(reply, "u", &result) >= 0 &&
        (result == kPrimaryOwner || result == kAlreadyOwner)) {
        return 0;
    }
    if (connection.bus != nullptr && connection.instanceName.empty()) {
        char name[96];
        std::snprintf(name, sizeof name, "%s.instance%ld", kBusName, static_cast<long>(getpid()));
        connection.instanceName = name;
        sd_bus_request_name_async(connection.bus, nullptr, name, 0, onNameAnswer, nullptr);
    }
    return 0;
}

}  // namespace

bool mprisConnect(MprisPlayer* player) {
    mprisDisconnect();
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        return false;
    }
    connection.bus = bus;
    connection.player = player;
    if (sd_bus_add_object_vtable(bus, nullptr, kObjectPath, kRootInterface, kRootTable, nullptr) <
            0 ||
        sd_bus_add_object_vtable(bus, nullptr, kObjectPath, kPlayerInterface, kPlayerTable,
                                 nullptr) < 0 ||
        sd_bus_request_name_async(bus, nullptr, kBusName, 0, onNameAnswer, nullptr) < 0) {
        mprisDisconnect();
        return false;
    }
    return true;
}

int mprisFd() {
    return connection.bus != nullptr ? sd_bus_get_fd(connection.bus) : -1;
}

bool mprisProcess() {
    if (connection.bus == nullptr) {
        return false;
    }
    for (int k = 0; k < kMostMessagesAtOnce && !connection.player->holdsCalls(); ++k) {
        const int r = sd_bus_process(connection.bus, nullptr);
        if (r < 0 || sd_bus_is_open(connection.bus) <= 0) {
            mprisDisconnect();
            return false;
        }
        if (r == 0) {
            break;
        }
    }
    return true;
}

void mprisRefresh() {
    if (connection.bus == nullptr) {
        return;
    }
    MprisState now = connection.player->state();
    std::vector<const char*> changed;
    const MprisState& was = connection.last;
    const bool all = !connection.told;
    if (all || std::strcmp(now.playbackStatus, was.playbackStatus) != 0)
        changed.push_back("PlaybackStatus");
    if (all || !sameMetadata(now, was))
        changed.push_back("Metadata");
    if (all || now.rate != was.rate)
        changed.push_back("Rate");
    if (all || now.volume != was.volume)
        changed.push_back("Volume");
    if (all || now.shuffle != was.shuffle)
        changed.push_back("Shuffle");
    if (all || std::strcmp(now.loopStatus, was.loopStatus) != 0)
        changed.push_back("LoopStatus");
    if (all || now.canGoNext != was.canGoNext)
        changed.push_back("CanGoNext");
    if (all || now.canGoPrevious != was.canGoPrevious)
        changed.push_back("CanGoPrevious");
    if (all || now.canPlay != was.canPlay)
        changed.push_back("CanPlay");
    if (all || now.canPause != was.canPause)
        changed.push_back("CanPause");
    if (all || now.canSeek != was.canSeek)
        changed.push_back("CanSeek");
    connection.last = std::move(now);
    connection.told = true;
    if (changed.empty()) {
        return;
    }
    changed.push_back(nullptr);
    sd_bus_emit_properties_changed_strv(connection.bus, kObjectPath, kPlayerInterface,
                                        const_cast<char**>(changed.data()));
}

void mprisSeeked(long long microseconds) {
    if (connection.bus != nullptr) {
        sd_bus_emit_signal(connection.bus, kObjectPath, kPlayerInterface, "Seeked", "x",
                           static_cast<int64_t>(microseconds));
    }
}

sd_bus* busConnection() {
    return connection.bus;
}

void mprisDisconnect() {
    notifyForget();
    if (connection.bus != nullptr) {
        sd_bus_close_unref(connection.bus);
    }
    connection = Connection{};
}

std::string mprisValidText(const std::string& text) {
    std::string valid;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8Length(bytes + at, text.size() - at);
        if (length == 0 || bytes[at] == 0) {
            valid += "\xEF\xBF\xBD";
            ++at;
        } else {
            valid.append(text, at, length);
            at += length;
        }
    }
    return valid;
}

std::string mprisFileUrl(const std::string& path) {
    std::string url = "file://";
    for (const unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            (c != 0 && std::strchr("-._~/", c) != nullptr)) {
            url += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            url += escaped;
        }
    }
    return url;
}
