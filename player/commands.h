// The player's commands: every action a person can take, whether by a key of
// the main screen or by a call from the session bus, is one command, run in
// one place by runCommand. A command is refused by one rule wherever the keys
// do not act as commands (a dialog, the folder prompt) or act only in part
// (the pause takes only W).
#pragma once

enum class PlayerCommand {
    None,            // a key that is no command: it only ends a stop
    PlaySlot,        // value: the digit of the slot of the page shown, 1 to 9
    Next,            // right arrow, "M"
    Previous,        // left arrow, "K"
    PlayAgain,       // "p"
    Stop,            // "s"
    Pause,           // "w" on the main screen
    Resume,          // "w" in the pause
    SpeedDialog,     // "x"
    PositionDialog,  // "c"
    SetSpeed,        // value: thousandths of the normal speed
    SetPosition,     // value: milliseconds from the song's start
    VolumeUp,        // "*"
    VolumeDown,      // "/"
    SetVolume,       // value: thousandths of full
    NextPage,        // "="
    PreviousPage,    // "-"
    Load,            // "l"
    Quit,            // "q"
    ResumePoint,     // "r": the song of the last run from where it stood
    Shuffle,         // value: 1 on, 0 off; "z" (-1) turns it over
    Repeat,          // value: the repeat mode; "t" (-1) steps to the next
    SeekBy,          // value: milliseconds forward, or back when negative
    Find,            // "f": the find field on row 25
    PlaySong,        // value: a catalogue index; its page is shown and it plays as its digit would
    Notices,         // "n": desktop notices on or off
    GainMode,        // "g": ReplayGain off -> track -> album -> auto -> off
};

struct Command {
    PlayerCommand what = PlayerCommand::None;
    long long value = 0;
};

struct CommandResult {
    const char* refused = nullptr;  // why it was not taken (a static text); null when taken
    bool mainScreenAnew = false;    // the main screen is to be entered anew
};

// The command of a key as the keys come in (an extended key is two codes:
// the prefix is remembered in S.afterPrefix until its second code).
Command commandForKey(int key);

// Why the command cannot be taken where the keys are now (S.keysAt); null
// when it can.
const char* commandRefusal(const Command& command);

// Runs a command, or refuses it by the rule and leaves everything as it was.
CommandResult runCommand(const Command& command);

// A command from outside the command loop (the session bus). It is refused
// at once by the rule. A command that only sets a value of the track (the
// speed, the position, the volume) runs at once; any other waits until the
// command loop takes it, where it would read a key.
const char* offerCommand(const Command& command);
// Whether an offered command waits for the loop.
bool commandWaiting();
// Takes the command that waits; None when none does.
Command takeWaitingCommand();
