// The command line: mp3 [FOLDER | SONG.mp3], -h/--help, --version, in the
// GNU manner. Reading it is a pure function of the arguments, so that every
// argument list can be tried without starting the player.
#pragma once

enum class CommandAction {
    Play,        // play: the folder of the start, or target
    Help,        // print the usage to standard output and exit 0
    Version,     // print the name and version and exit 0
    UsageError,  // print error and a hint on standard error and exit 2
};

// Room for one line of error: the longest message and an argument cut short.
constexpr int kCommandErrorSize = 160;

struct CommandLine {
    CommandAction action;
    // Play: the FOLDER or SONG named, pointing into argv; null for none.
    const char* target;
    // UsageError: the line to print after "mp3: ", without a line end. The
    // argument it quotes is cut to fit and has its control bytes shown as "?".
    char error[kCommandErrorSize];
};

// Reads argv[1] to argv[argc - 1]; argv[0] and anything past argc are never
// looked at. Options may stand before or after the operand, and the first
// option met decides between help, version and an unknown option; "--" ends
// the options. A long option may be shortened as long as it stays unambiguous
// ("--vers"). More than one operand is a usage error. No side effects.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The text of --help and --version, each ending in a line end.
extern const char* const kUsageText;
extern const char* const kVersionText;
