// The player as a media player of the desktop's session bus: the name
// org.mpris.MediaPlayer2.folderplay and the object /org/mpris/MediaPlayer2
// with the desktop's media-player interfaces, so that media keys, sound
// menus and scripts can drive it. The bus is handled on the caller's thread
// and never waited for: mprisProcess takes what has arrived, and the calls
// it finds go to the MprisPlayer handed to mprisConnect.
#pragma once

#include <string>

// The rates offered (MinimumRate, MaximumRate): the speeds the player takes.
constexpr double kMprisMinimumRate = 0.1;
constexpr double kMprisMaximumRate = 2.0;

// The calls that the bus can make of the player.
enum class MprisCall {
    Quit,
    Raise,
    OpenUri,
    Next,
    Previous,
    Pause,
    PlayPause,
    Stop,
    Play,
    Seek,           // by microseconds from the position
    SetPosition,    // to microseconds from the start, of the track named
    SetRate,        // a new speed, 1.0 the normal one
    SetVolume,      // a new volume, 0.0 silence to 1.0 full
    SetShuffle,     // the shuffle on or off
    SetLoopStatus,  // "Playlist", "Track" or "None"
};

struct MprisRequest {
    MprisCall call = MprisCall::Raise;
    long long microseconds = 0;  // Seek, SetPosition
    std::string trackId;         // SetPosition
    double rate = 1.0;           // SetRate
    double volume = 1.0;         // SetVolume
    bool shuffle = false;        // SetShuffle
    std::string loopStatus;      // SetLoopStatus, as the caller sent it
};

// What the player tells the bus about itself.
struct MprisState {
    const char* playbackStatus = "Stopped";  // "Playing", "Paused" or "Stopped"
    std::string trackId;                     // an object path; empty when no song is known
    std::string title;                       // any bytes: invalid UTF-8 is replaced
    std::string artist;                      // the same; empty when not known
    std::string album;                       // the same; empty when not known
    std::string path;                        // absolute path of the song's file
    long long lengthMicroseconds = 0;
    double rate = 1.0;
    double volume = 1.0;  // 0.0 silence to 1.0 full
    bool shuffle = false;
    const char* loopStatus = "Playlist";  // "Playlist", "Track" or "None"
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canPause = false;
    bool canSeek = false;
};

class MprisPlayer {
  public:
    virtual ~MprisPlayer() = default;
    // Acts on a call, or refuses it: null when taken, otherwise why not (a
    // text that lives as long as the program), which the caller is told.
    virtual const char* perform(const MprisRequest& request) = 0;
    virtual MprisState state() = 0;
    virtual long long positionMicroseconds() = 0;
    // True while the effect of a call is still to come: the calls that
    // follow stay unread until then, so that each finds the player as the
    // ones before have left it.
    virtual bool holdsCalls() = 0;
};

// Connects to the session bus (DBUS_SESSION_BUS_ADDRESS, or the user's bus
// at $XDG_RUNTIME_DIR/bus) and asks for the name, without waiting for an
// answer. False, with nothing held, when there is no bus to connect to.
bool mprisConnect(MprisPlayer* player);
// The descriptor to watch for input from the bus; -1 when not connected.
int mprisFd();
// Handles what the bus has sent and sends what is queued, without waiting.
// False once the connection is gone: it is then closed and mprisFd is -1.
bool mprisProcess();
// Tells the bus which properties have changed since it was last told.
void mprisRefresh();
// Tells the bus that the position jumped to microseconds.
void mprisSeeked(long long microseconds);
void mprisDisconnect();

// The text with every byte that is not part of valid UTF-8 replaced by
// U+FFFD: a bus drops a client that sends invalid UTF-8.
std::string mprisValidText(const std::string& text);
// The file:// URL of an absolute path, every byte but the unreserved ones and
// '/' percent-encoded.
std::string mprisFileUrl(const std::string& path);
