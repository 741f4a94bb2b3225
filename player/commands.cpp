#include "player/commands.h"

#include <cctype>

#include "player/dialogs.h"
#include "player/find.h"
#include "player/gain.h"
#include "player/load.h"
#include "player/modes.h"
#include "player/notices.h"
#include "player/pages.h"
#include "player/playback.h"
#include "player/quit.h"
#include "player/seek.h"
#include "player/state.h"
#include "player/volume.h"
#include "tcconio/keyboard.h"

namespace {

const char* const kNotHere = "a dialog or the folder prompt has the keys";
const char* const kOnlyResume = "paused: only Play or PlayPause goes on";
const char* const kNotPaused = "nothing is paused";
const char* const kNotOpen = "no song is open";
const char* const kStopped = "the song is stopped";
const char* const kOutOfSong = "the position is outside the song";
const char* const kNotASpeed = "the speed is outside what the player takes";

// The commands' own record: the one offered from outside that waits for the
// loop. While it waits no other is offered (the bus holds its calls).
struct Inbox {
    Command waiting;
    bool full = false;
};
Inbox inbox;

bool slotHoldsSong(int slot) {
    return S.p_List[S.p_count][slot][0] != 0;
}

// After paging, the page shown may have no song in the playing slot (a song
// of a longer page plays). A key then picks a song of the page shown, never
// the stale entry of the slot, which would play another page's song under a
// name of this one. The song so picked was not chosen with "9": its end does
// not turn the page.
void startFromSongOfPage(int slot) {
    S.num = slot;
    S.a_uto = 0;
}

// A digit picks a song of the page shown; on the last page only a slot that
// holds a song.
void playChosenSlot(long long hot_key) {
    if (hot_key < 1 || hot_key > kSlotsPerPage || hot_key > S.TotalSong) {
        return;
    }
    const int slot = static_cast<int>(hot_key) - 1;
    if (S.p_count == S.MAX && !slotHoldsSong(slot)) {
        return;
    }
    S.a_uto = hot_key == kSlotsPerPage ? 1 : 0;
    S.num = slot;
    CloseSong();
    Play();
    if (!S.m_null) {
        GetOldColor();
    }
}

void nextSong() {
    if (nextSongByModes()) {
        return;
    }
    CloseSong();
    ++S.num;
    if (S.num >= songsOnPage(S.p_count)) {
        p_NextList();
        S.a_uto = 0;
        S.num = 0;
    }
    GetOldColor();
    S.isPlay = 0;
    Play();
}

void previousSong() {
    if (previousSongByModes()) {
        return;
    }
    CloseSong();
    --S.num;
    if (S.num >= 0 && !slotHoldsSong(S.num)) {
        startFromSongOfPage(songsOnPage(S.p_count) - 1);  // the song before the empty slots
    }
    S.isPlay = 1;
    GetOldColor();
    Play();
}

void playAgain() {
    CloseSong();
    if (!slotHoldsSong(S.num)) {
        startFromSongOfPage(0);  // the page shown from its first song
    }
    Play();
}

// Shows the offered song's page and plays it from where the last run stood.
void playResumePoint() {
    if (!S.resumeOffered) {
        return;
    }
    CloseSong();
    showPageOf(S.resumeSong);
    S.num = S.resumeSong % kSlotsPerPage;
    S.a_uto = 0;
    GetOldColor();
    S.playFromMs = static_cast<long long>(S.resumeSeconds) * 1000;
    Play();
}

// The song that the find field chose: its page becomes the page shown and
// played from, as paging there would make it, and it plays as its digit would.
void playSong(long long song) {
    if (song < 0 || song >= S.TotalSong) {
        return;
    }
    showPageOf(static_cast<int>(song));
    playChosenSlot(song % kSlotsPerPage + 1);
}

// Every key ends a stop and the mark of an empty slot, whether it is a
// command or not.
void endStop() {
    S.m_null = 0;
    S.Control = 0;
}

// The second code of an extended key: only the arrows act.
Command commandForExtendedKey(int code) {
    switch (code) {
        case 'M':
            return {PlayerCommand::Next};
        case 'K':
            return {PlayerCommand::Previous};
        default:
            return {};
    }
}

// The values set from outside; the dialogs set the same values from keys.
CommandResult setValue(const Command& command) {
    switch (command.what) {
        case PlayerCommand::SetSpeed:
            if (!S.trackOpen) {
                return {kNotOpen};
            }
            return {setSpeed(command.value) ? nullptr : kNotASpeed};
        case PlayerCommand::SetPosition:
            if (!S.trackOpen) {
                return {kNotOpen};
            }
            // The jump would play a stopped song while everything says it
            // is stopped.
            if (S.Control) {
                return {kStopped};
            }
            return {jumpWithinSong(command.value < 0 ? 0 : command.value) ? nullptr : kOutOfSong};
        case PlayerCommand::Shuffle:
            setShuffle(command.value != 0);
            return {};
        case PlayerCommand::Repeat:
            setRepeatMode(static_cast<int>(command.value));
            return {};
        default:
            setVolume(static_cast<int>(command.value));
            return {};
    }
}

// The modes' commands set a value when they carry one; their keys step.
bool setsAValue(const Command& command) {
    switch (command.what) {
        case PlayerCommand::SetSpeed:
        case PlayerCommand::SetPosition:
        case PlayerCommand::SetVolume:
            return true;
        case PlayerCommand::Shuffle:
        case PlayerCommand::Repeat:
            return command.value >= 0;
        default:
            return false;
    }
}

}  // namespace

Command commandForKey(int key) {
    if (S.afterPrefix) {
        S.afterPrefix = 0;
        return commandForExtendedKey(key);
    }
    if (isKeyPrefix(key)) {
        S.afterPrefix = 1;
        return {};
    }
    if (key >= '1' && key <= '9') {
        return {PlayerCommand::PlaySlot, key - '0'};
    }
    switch (key) {
        case 'M':
            return {PlayerCommand::Next};
        case 'K':
            return {PlayerCommand::Previous};
        default:
            break;
    }
    switch (std::tolower(key)) {
        case 'p':
            return {PlayerCommand::PlayAgain};
        case 's':
            return {PlayerCommand::Stop};
        case 'w':
            return {S.keysAt == KeysAt::Paused ? PlayerCommand::Resume : PlayerCommand::Pause};
        case 'x':
            return {PlayerCommand::SpeedDialog};
        case 'c':
            return {PlayerCommand::PositionDialog};
        case 'l':
            return {PlayerCommand::Load};
        case '=':
        case '+':
            return {PlayerCommand::NextPage};
        case '-':
            return {PlayerCommand::PreviousPage};
        case '*':
            return {PlayerCommand::VolumeUp};
        case '/':
            return {PlayerCommand::VolumeDown};
        case 'r':
            return {PlayerCommand::ResumePoint};
        case 'z':
            return {PlayerCommand::Shuffle, -1};
        case 't':
            return {PlayerCommand::Repeat, -1};
        case '.':
        case ',':
        case '>':
        case '<':
            return {PlayerCommand::SeekBy, seekStepOf(static_cast<char>(key))};
        case 'f':
            return {PlayerCommand::Find};
        case 'n':
            return {PlayerCommand::Notices};
        case 'g':
            return {PlayerCommand::GainMode};
        case 'q':
            return {PlayerCommand::Quit};
        default:
            return {};
    }
}

const char* commandRefusal(const Command& command) {
    switch (S.keysAt) {
        case KeysAt::MainScreen:
            return command.what == PlayerCommand::Resume ? kNotPaused : nullptr;
        case KeysAt::Paused:
            return command.what == PlayerCommand::Resume || command.what == PlayerCommand::Pause
                       ? nullptr
                       : kOnlyResume;
        default:
            return kNotHere;
    }
}

// The steps of each command in the order of its key: a digit plays its slot
// before the stop ends, every other key ends the stop first.
CommandResult runCommand(const Command& command) {
    if (const char* refused = commandRefusal(command)) {
        return {refused};
    }
    // A run of seek keys ends at any other command, which then finds the
    // song where the run has put it.
    if (command.what != PlayerCommand::SeekBy) {
        endSeekRun();
    }
    if (setsAValue(command)) {
        return setValue(command);
    }
    if (S.keysAt == KeysAt::Paused) {
        if (command.what == PlayerCommand::Resume) {
            Resume();
        }
        return {};  // a pause in the pause changes nothing
    }
    if (command.what == PlayerCommand::PlaySlot) {
        playChosenSlot(command.value);
    } else if (command.what == PlayerCommand::PlaySong) {
        playSong(command.value);
    }
    endStop();
    switch (command.what) {
        case PlayerCommand::Next:
            nextSong();
            break;
        case PlayerCommand::Previous:
            previousSong();
            break;
        case PlayerCommand::PlayAgain:
            playAgain();
            break;
        case PlayerCommand::Stop:
            Stop();
            break;
        case PlayerCommand::Pause:
            Pause();
            break;
        case PlayerCommand::SpeedDialog:
            Speed();
            return {nullptr, true};
        case PlayerCommand::PositionDialog:
            Position();
            return {nullptr, true};
        case PlayerCommand::Load:
            LoadSongs();
            return {nullptr, true};
        case PlayerCommand::NextPage:
            p_NextList();
            break;
        case PlayerCommand::PreviousPage:
            p_PrevList();
            break;
        case PlayerCommand::VolumeUp:
            louder();
            drawNotice();
            break;
        case PlayerCommand::VolumeDown:
            softer();
            drawNotice();
            break;
        case PlayerCommand::ResumePoint:
            playResumePoint();
            break;
        case PlayerCommand::Shuffle:
            toggleShuffle();
            break;
        case PlayerCommand::Repeat:
            cycleRepeatMode();
            break;
        case PlayerCommand::SeekBy:
            addToSeekRun(command.value);
            break;
        case PlayerCommand::Find:
            openFind();
            break;
        case PlayerCommand::Notices:
            toggleNotices();
            break;
        case PlayerCommand::GainMode:
            nextGainMode();
            drawNotice();
            break;
        case PlayerCommand::Quit:
            Quit();
        default:
            break;
    }
    return {};
}

const char* offerCommand(const Command& command) {
    if (const char* refused = commandRefusal(command)) {
        return refused;
    }
    if (setsAValue(command)) {
        return runCommand(command).refused;
    }
    inbox.waiting = command;
    inbox.full = true;
    return nullptr;
}

bool commandWaiting() {
    return inbox.full;
}

Command takeWaitingCommand() {
    const Command command = inbox.waiting;
    inbox = Inbox{};
    return command;
}
