#include "player/remote.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/bus/mpris.h"
#include "platform/fs.h"
#include "platform/shortname.h"
#include "player/dialogs.h"
#include "player/media.h"
#include "player/notices.h"
#include "player/state.h"
#include "player/tags.h"
#include "player/volume.h"
#include "tcconio/keyboard.h"

namespace {

// The keys that the calls stand for, as the main screen reads them.
constexpr int kNextKey = 'M';
constexpr int kPreviousKey = 'K';
constexpr int kPauseKey = 'w';
constexpr int kPlayAgainKey = 'p';
constexpr int kStopKey = 's';
constexpr int kQuitKey = 'q';

const char* const kNotHere = "a dialog or the folder prompt has the keys";
const char* const kOnlyResume = "paused: only Play or PlayPause goes on";
const char* const kNotOpen = "no song is open";
const char* const kOutOfSong = "the position is outside the song";
const char* const kOutOfRange = "the rate is outside 0.1 to 2.0";
const char* const kNotAVolume = "the volume is not a number";
const char* const kNoUri = "only the songs of the folder are played";

RemotePlace place = RemotePlace::MainScreen;
// A queued key is read in the pass after the one that queued it, or at once
// by a wait that takes keys elsewhere (the pause); until then the calls after
// it wait, as keys typed after it would.
constexpr int kPassesUntilKeyRead = 2;
int holdPasses = 0;
bool wanted = false;
bool connected = false;
int watchedFd = -1;

// The song that plays, as last seen: a new one gets a new track id.
struct Song {
    int index = -1;
    std::string label;
    std::string folder;
    std::string trackId;
    std::string path;
};
Song song;
unsigned songsSeen = 0;  // numbers the track ids, which are never given twice

bool playing() {
    return S.trackOpen && !S.Control;
}

long long queryMilliseconds(const char* item) {
    char command[64];
    char reply[kReplySize] = "";
    std::snprintf(command, sizeof command, "status MP3_Device %s", item);
    sendUnchecked(command, reply, sizeof reply);
    return millisecondsOf(reply);
}

// The file's absolute path: the player plays from the music folder, which
// is the working directory from the song's start on, and the page's short
// name resolves to the file's own name there.
std::string pathOfPlayingSong() {
    const int page = S.playingSong / kSlotsPerPage;
    const int slot = S.playingSong % kSlotsPerPage;
    char folder[4096];
    char name[256];
    const unsigned length = GetCurrentDirectory(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder ||
        !ResolveShortName(S.p_file[page][slot], name, sizeof name)) {
        return "";
    }
    return std::string(folder) + (length > 1 ? "/" : "") + name;
}

void noticeSongChange() {
    if (S.playingSong < 0 || S.playingSong >= kMaxSongs || S.Label[0] == 0) {
        song = Song{};
        return;
    }
    if (song.index == S.playingSong && song.label == S.Label && song.folder == S.dirname) {
        return;
    }
    song.index = S.playingSong;
    song.label = S.Label;
    song.folder = S.dirname;
    song.trackId = "/org/folderplay/Track/" + std::to_string(++songsSeen);
    song.path = pathOfPlayingSong();
    announceSongChange();
}

const char* queueKey(int code) {
    conioQueueKey(code);
    holdPasses = kPassesUntilKeyRead;
    return nullptr;
}

const char* jumpTo(long long microseconds) {
    if (!S.trackOpen) {
        return kNotOpen;
    }
    const long long milliseconds = microseconds < 0 ? 0 : microseconds / 1000;
    if (!jumpWithinSong(milliseconds)) {
        return kOutOfSong;
    }
    mprisSeeked(milliseconds * 1000);
    return nullptr;
}

const char* changeRate(double rate) {
    if (!(rate >= kMprisMinimumRate - 1e-9 && rate <= kMprisMaximumRate + 1e-9)) {
        return kOutOfRange;
    }
    if (!S.trackOpen) {
        return kNotOpen;
    }
    return setSpeed(static_cast<int>(rate * 1000 + 0.5)) ? nullptr : kOutOfRange;
}

// Clamped to silence and full, as the keys' steps are. The idle pass of the
// main screen draws the notice line anew, so the new volume shows there as a
// key's does, and the next record of the state file holds it.
const char* changeVolume(double volume) {
    if (std::isnan(volume)) {
        return kNotAVolume;
    }
    setVolume(static_cast<int>(std::clamp(volume, 0.0, 1.0) * 1000 + 0.5));
    return nullptr;
}

long long positionNow() {
    return S.trackOpen ? queryMilliseconds("position") * 1000 : 0;
}

const char* performOnMainScreen(const MprisRequest& request) {
    switch (request.call) {
        case MprisCall::Quit:
            return queueKey(kQuitKey);
        case MprisCall::Next:
            return queueKey(kNextKey);
        case MprisCall::Previous:
            return queueKey(kPreviousKey);
        case MprisCall::Stop:
            return queueKey(kStopKey);
        case MprisCall::Pause:
            return playing() ? queueKey(kPauseKey) : nullptr;
        case MprisCall::Play:
            return playing() ? nullptr : queueKey(kPlayAgainKey);
        case MprisCall::PlayPause:
            return queueKey(playing() ? kPauseKey : kPlayAgainKey);
        case MprisCall::Seek:
            return jumpTo(positionNow() + request.microseconds);
        case MprisCall::SetPosition:
            // A call about another track than the one that plays is stale.
            return request.trackId == song.trackId ? jumpTo(request.microseconds) : nullptr;
        case MprisCall::SetRate:
            return changeRate(request.rate);
        case MprisCall::SetVolume:
            return changeVolume(request.volume);
        default:
            return nullptr;
    }
}

// The pause takes only W, which goes on.
const char* performWhilePaused(const MprisRequest& request) {
    switch (request.call) {
        case MprisCall::Play:
        case MprisCall::PlayPause:
            return queueKey(kPauseKey);
        case MprisCall::Pause:
            return nullptr;
        default:
            return kOnlyResume;
    }
}

class Player final : public MprisPlayer {
  public:
    const char* perform(const MprisRequest& request) override {
        if (request.call == MprisCall::Raise) {
            return nullptr;  // a terminal has no window of ours to raise
        }
        if (request.call == MprisCall::OpenUri) {
            return kNoUri;
        }
        noticeSongChange();
        switch (place) {
            case RemotePlace::MainScreen:
                return performOnMainScreen(request);
            case RemotePlace::Paused:
                return performWhilePaused(request);
            default:
                return kNotHere;
        }
    }

    MprisState state() override {
        noticeSongChange();
        MprisState state;
        const bool onMain = place == RemotePlace::MainScreen;
        const bool paused = place == RemotePlace::Paused;
        state.playbackStatus = paused ? "Paused" : playing() ? "Playing" : "Stopped";
        state.trackId = song.trackId;
        // The tags are those of the song that Play started last, which is
        // the song seen here.
        state.title = playingTitle()[0] != 0 ? playingTitle() : song.label;
        state.artist = playingArtist();
        state.album = playingAlbum();
        state.path = song.path;
        if (S.trackOpen) {
            state.lengthMicroseconds = queryMilliseconds("length") * 1000;
            const long long speed = queryMilliseconds("speed");
            state.rate = speed > 0 ? speed / 1000.0 : 1.0;
        } else if (song.index >= 0) {
            state.lengthMicroseconds = S.number[song.index] * 1000000LL;
        }
        state.volume = S.volume / 1000.0;
        state.canGoNext = onMain && S.TotalSong > 0;
        state.canGoPrevious = onMain && S.TotalSong > 0;
        state.canPlay = (onMain || paused) && S.TotalSong > 0;
        state.canPause = (onMain && playing()) || paused;
        state.canSeek = onMain && S.trackOpen;
        return state;
    }

    long long positionMicroseconds() override { return positionNow(); }

    bool holdsCalls() override { return holdPasses > 0; }
};
Player player;

void forgetBus() {
    if (watchedFd >= 0) {
        conioUnwatch(watchedFd);
    }
    watchedFd = -1;
    connected = false;
}

// Handles what the bus sent and keeps the wait watching its descriptor: a
// bus that has gone away is let go, and the player plays on without it.
bool serveBus() {
    if (!mprisProcess()) {
        forgetBus();
        return false;
    }
    const int fd = mprisFd();
    if (fd != watchedFd) {
        if (watchedFd >= 0) {
            conioUnwatch(watchedFd);
        }
        watchedFd = conioWatch(
                        fd, [](void*) { serveBus(); }, nullptr)
                        ? fd
                        : -1;
    }
    mprisRefresh();
    return true;
}

// A new place has taken the key that led there: the calls held for it are
// taken now, where it has left the player.
void enterPlace(RemotePlace newPlace) {
    place = newPlace;
    holdPasses = 0;
    if (connected) {
        serveBus();
    }
}

}  // namespace

MprisPlayer& remotePlayer() {
    return player;
}

void remoteStart() {
    wanted = true;
}

void remoteTick() {
    if (wanted && !connected) {
        wanted = false;
        connected = mprisConnect(&player);
    }
    if (holdPasses > 0) {
        --holdPasses;
    }
    if (connected) {
        serveBus();
    }
}

void remoteSongStarted() {
    if (connected) {
        mprisRefresh();
    }
}

void remoteSeeked() {
    if (connected) {
        mprisSeeked(positionNow());
    }
}

RemotePlaceScope::RemotePlaceScope(RemotePlace newPlace) : previous_(place) {
    enterPlace(newPlace);
}

RemotePlaceScope::~RemotePlaceScope() {
    enterPlace(previous_);
}
