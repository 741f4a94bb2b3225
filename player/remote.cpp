#include "player/remote.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/bus/mpris.h"
#include "platform/fs.h"
#include "platform/shortname.h"
#include "player/commands.h"
#include "player/events.h"
#include "player/notices.h"
#include "player/state.h"
#include "player/tags.h"
#include "player/track.h"

namespace {

const char* const kOutOfRange = "the rate is outside 0.1 to 2.0";
const char* const kNotAVolume = "the volume is not a number";
const char* const kNoUri = "only the songs of the folder are played";
const char* const kNotALoopStatus = "the loop status is Playlist, Track or None";

// LoopStatus as the bus names the repeat modes: the folder, the song, none.
struct LoopName {
    const char* name;
    int mode;
};
const LoopName kLoopNames[] = {
    {"Playlist", kRepeatFolder},
    {"Track", kRepeatSong},
    {"None", kRepeatOff},
};

// The song that plays, as last seen: a new one gets a new track id.
struct Song {
    int index = -1;
    std::string label;
    std::string folder;
    std::string trackId;
    std::string path;
};

// The bus's own record.
struct Remote {
    bool wanted = false;
    bool connected = false;
    int watchedFd = -1;
    Song song;
    unsigned songsSeen = 0;  // numbers the track ids, which are never given twice
    unsigned jumpsTold = 0;  // the track's jumps the bus has been told of
};
Remote remote;

bool playing() {
    return S.trackOpen && !S.Control;
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
    Song& song = remote.song;
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
    song.trackId = "/org/folderplay/Track/" + std::to_string(++remote.songsSeen);
    song.path = pathOfPlayingSong();
    announceSongChange();
}

long long positionNow() {
    return trackPositionMs() * 1000;
}

const char* offer(PlayerCommand what, long long value = 0) {
    return offerCommand(Command{what, value});
}

bool paused() {
    return S.keysAt == KeysAt::Paused;
}

// A seek before the start plays from 0:00; one to the end or past it goes
// to the next song, as MPRIS has it. The offset may be any 64-bit number.
// A stopped song does not move: its refusal is the jump's.
const char* seekBy(long long offset) {
    long long target = 0;
    if (__builtin_add_overflow(positionNow(), offset, &target)) {
        target = offset > 0 ? LLONG_MAX : 0;
    }
    if (playing() && target / 1000 >= trackLengthMs()) {
        return offer(PlayerCommand::Next);
    }
    return offer(PlayerCommand::SetPosition, std::max(target, 0LL) / 1000);
}

// Clamped to silence and full, as the keys' steps are. The idle pass of the
// main screen draws the notice line anew, so the new volume shows there as a
// key's does, and the next record of the state file holds it.
const char* changeVolume(double volume) {
    if (std::isnan(volume)) {
        return kNotAVolume;
    }
    const double thousandths = std::clamp(volume, 0.0, 1.0) * kFullVolume + 0.5;
    return offer(PlayerCommand::SetVolume, static_cast<long long>(thousandths));
}

const char* changeRate(double rate) {
    if (!(rate >= kMprisMinimumRate - 1e-9 && rate <= kMprisMaximumRate + 1e-9)) {
        return kOutOfRange;
    }
    return offer(PlayerCommand::SetSpeed, static_cast<long long>(rate * kNormalSpeed + 0.5));
}

const char* changeLoopStatus(const std::string& status) {
    for (const LoopName& loop : kLoopNames) {
        if (status == loop.name) {
            return offer(PlayerCommand::Repeat, loop.mode);
        }
    }
    return kNotALoopStatus;
}

const char* loopStatusName() {
    for (const LoopName& loop : kLoopNames) {
        if (S.repeatMode == loop.mode) {
            return loop.name;
        }
    }
    return kLoopNames[0].name;
}

// A call that changes nothing here is still refused where its command is.
const char* nothingToDo(PlayerCommand what) {
    return commandRefusal(Command{what});
}

// The commands the calls stand for. Play and PlayPause go on from a pause,
// and start a stopped song again; Pause while nothing plays does nothing.
const char* offerCall(const MprisRequest& request) {
    switch (request.call) {
        case MprisCall::Quit:
            return offer(PlayerCommand::Quit);
        case MprisCall::Next:
            return offer(PlayerCommand::Next);
        case MprisCall::Previous:
            return offer(PlayerCommand::Previous);
        case MprisCall::Stop:
            return offer(PlayerCommand::Stop);
        case MprisCall::Pause:
            return playing() || paused() ? offer(PlayerCommand::Pause)
                                         : nothingToDo(PlayerCommand::Pause);
        case MprisCall::Play:
            return paused()    ? offer(PlayerCommand::Resume)
                   : playing() ? nothingToDo(PlayerCommand::PlayAgain)
                               : offer(PlayerCommand::PlayAgain);
        case MprisCall::PlayPause:
            return paused()    ? offer(PlayerCommand::Resume)
                   : playing() ? offer(PlayerCommand::Pause)
                               : offer(PlayerCommand::PlayAgain);
        case MprisCall::Seek:
            return seekBy(request.microseconds);
        case MprisCall::SetPosition:
            // A call about another track than the one that plays is stale;
            // a position before the start is none (MPRIS: do nothing).
            return request.trackId == remote.song.trackId && request.microseconds >= 0
                       ? offer(PlayerCommand::SetPosition, request.microseconds / 1000)
                       : nothingToDo(PlayerCommand::SetPosition);
        case MprisCall::SetRate:
            return changeRate(request.rate);
        case MprisCall::SetVolume:
            return changeVolume(request.volume);
        case MprisCall::SetShuffle:
            return offer(PlayerCommand::Shuffle, request.shuffle ? 1 : 0);
        case MprisCall::SetLoopStatus:
            return changeLoopStatus(request.loopStatus);
        default:
            return nullptr;
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
        return offerCall(request);
    }

    MprisState state() override {
        noticeSongChange();
        MprisState state;
        const Song& song = remote.song;
        const bool onMain = S.keysAt == KeysAt::MainScreen;
        state.playbackStatus = paused() ? "Paused" : playing() ? "Playing" : "Stopped";
        state.trackId = song.trackId;
        // The tags are those of the song that Play started last, which is
        // the song seen here.
        state.title = playingTitle()[0] != 0 ? playingTitle() : song.label;
        state.artist = playingArtist();
        state.album = playingAlbum();
        state.path = song.path;
        if (S.trackOpen) {
            state.lengthMicroseconds = trackLengthMs() * 1000;
            const long long speed = trackSpeed();
            state.rate = speed > 0 ? static_cast<double>(speed) / kNormalSpeed : 1.0;
        } else if (song.index >= 0) {
            state.lengthMicroseconds = S.number[song.index] * 1000000LL;
        }
        state.volume = static_cast<double>(S.volume) / kFullVolume;
        state.shuffle = S.shuffle != 0;
        state.loopStatus = loopStatusName();
        state.canGoNext = onMain && S.TotalSong > 0;
        state.canGoPrevious = onMain && S.TotalSong > 0;
        state.canPlay = (onMain || paused()) && S.TotalSong > 0;
        state.canPause = (onMain && playing()) || paused();
        state.canSeek = onMain && playing();
        return state;
    }

    long long positionMicroseconds() override { return positionNow(); }

    // A call that waits for the command loop holds the ones after it, so
    // that each finds the player as the ones before have left it.
    bool holdsCalls() override { return commandWaiting(); }
};
Player player;

void forgetBus() {
    if (remote.watchedFd >= 0) {
        unwatchDescriptor(remote.watchedFd);
    }
    remote.watchedFd = -1;
    remote.connected = false;
}

// A jump, from a call or from the position dialog, is told to the bus.
void tellJumps() {
    if (trackJumps() != remote.jumpsTold) {
        remote.jumpsTold = trackJumps();
        mprisSeeked(positionNow());
    }
}

// Handles what the bus sent and keeps the wait watching its descriptor: a
// bus that has gone away is let go, and the player plays on without it.
bool serveBus() {
    if (!mprisProcess()) {
        forgetBus();
        return false;
    }
    const int fd = mprisFd();
    if (fd != remote.watchedFd) {
        if (remote.watchedFd >= 0) {
            unwatchDescriptor(remote.watchedFd);
        }
        remote.watchedFd = watchDescriptor(
                               fd, [](void*) { serveBus(); }, nullptr)
                               ? fd
                               : -1;
    }
    tellJumps();
    mprisRefresh();
    return true;
}

}  // namespace

MprisPlayer& remotePlayer() {
    return player;
}

void remoteStart() {
    remote.wanted = true;
}

// A call that waited for the loop has run by the next pass: the calls held
// behind it are read then.
void remoteTick() {
    if (remote.wanted && !remote.connected) {
        remote.wanted = false;
        remote.connected = mprisConnect(&player);
        remote.jumpsTold = trackJumps();
    }
    if (remote.connected) {
        serveBus();
    }
}

void remoteSongStarted() {
    if (remote.connected) {
        mprisRefresh();
    }
}
