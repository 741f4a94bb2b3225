#include "player/cmdline.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "player/state.h"

// The keys are one table, a line each, so that a key added to the player is
// a line added here.
const char* const kUsageText =
    "Usage: mp3 [FOLDER | SONG.mp3]\n"
    "  or:  mp3 --help | --version\n"
    "Play the MP3 files of a folder in the terminal, in name order, in pages of\n"
    "nine songs, driven by single keys.\n"
    "\n"
    "Without an argument mp3 plays the working directory; when that holds no MP3\n"
    "file, the folder recorded in path.txt there, or one it asks for and records.\n"
    "FOLDER is played as if mp3 had been started in it. SONG.mp3 plays its folder\n"
    "from that song.\n"
    "\n"
    "  -h, --help     display this help and exit\n"
    "      --version  output version information and exit\n"
    "\n"
    "Keys:\n"
    "  1 ... 9        play that song of the page shown\n"
    "  Right, M       next song\n"
    "  Left, K        previous song\n"
    "  = or +, -      show the next page, the previous page\n"
    "  P              play the current song again from its start\n"
    "  S              stop; the next key lets the player move on\n"
    "  W              pause; only W again resumes\n"
    "  X              change the speed, in percent (10 to 200), pitch kept\n"
    "  C              jump to a position of the song, in seconds\n"
    "  L              load another folder\n"
    "  *, /           louder, softer, in steps of 5 %, from silence to full\n"
    "  R              resume the song offered on row 22 where the last run stood\n"
    "  Z              shuffle on and off: every song once per round, in random order\n"
    "  T              repeat, in turn: folder, song, off (stop after the last song)\n"
    "  . ,  > <       jump 5 s forward and back, 60 s forward and back\n"
    "  F              find a song by name: type part of it, Tab for the next,\n"
    "                 Enter to play it, Esc to leave\n"
    "  N              desktop notices of song changes on or off (off at first)\n"
    "  G              ReplayGain: off, track, album, auto (album gain in folder\n"
    "                 order, track gain shuffled), from the tags that taggers\n"
    "                 write: ID3v2 TXXX replaygain_*, RVA2, the LAME tag, APE\n"
    "                 REPLAYGAIN_*; never louder than the tagged peak allows\n"
    "  Q              quit, writing the song lengths for the next start\n"
    "  Ctrl+C         end the player\n"
    "\n"
    "Files, beside the songs (in the start directory instead when the folder\n"
    "came from its path.txt); the last three are written on Q:\n"
    "  path.txt       the music folder, as typed when it was asked for\n"
    "  length.txt     the folder's total time and song count\n"
    "  number.txt     each song's length in seconds\n"
    "  names.txt      each song's name, to know it again at the next start\n"
    "\n"
    "On a desktop's session bus the player is the MPRIS media player\n"
    "org.mpris.MediaPlayer2.folderplay: its calls, Shuffle and LoopStatus act as\n"
    "the keys do.\n"
    "\n"
    "Row 17 shows the playing song's artist and title from its tags.\n"
    "\n"
    "The volume and where the last song of each folder stood are kept in\n"
    "$XDG_STATE_HOME/folderplay/state (~/.local/state/folderplay/state).\n"
    "\n"
    "Exit status: 0 for --help and --version, 2 for a wrong command line,\n"
    "1 whenever the player ends.\n"
    "\n"
    "Full documentation: man mp3\n";

const char* const kVersionText = "Folderplay " MP3_VERSION "\n";

namespace {

// Room for an argument quoted in an error line.
constexpr std::size_t kQuotedMax = 100;

// Room for the character that crosses the cut, whole, so that the cut can
// go before it.
struct Quoted {
    char text[kQuotedMax + 4];
};

// An argument as it may be printed: cut to fit, never half a character, and
// with every byte that a terminal would act on shown as "?".
Quoted quote(const char* argument, std::size_t length) {
    Quoted quoted;
    length = std::min(length, sizeof quoted.text - 1);
    std::memcpy(quoted.text, argument, length);
    quoted.text[length] = 0;
    cutUtf8(quoted.text, kQuotedMax);
    makePrintable(quoted.text);
    return quoted;
}

CommandLine usageError(const char* format, const char* argument, std::size_t length) {
    CommandLine line{CommandAction::UsageError, nullptr, {}};
    std::snprintf(line.error, sizeof line.error, format, quote(argument, length).text);
    return line;
}

CommandLine decided(CommandAction action) {
    return CommandLine{action, nullptr, {}};
}

bool isPrefixOf(const char* name, std::size_t length, const char* option) {
    return length > 0 && length <= std::strlen(option) && std::strncmp(name, option, length) == 0;
}

// A long option: "--" and a name, perhaps shortened, perhaps with "=value".
CommandLine longOption(const char* argument) {
    const char* name = argument + 2;
    const char* equals = std::strchr(name, '=');
    const std::size_t length = equals ? static_cast<std::size_t>(equals - name) : std::strlen(name);
    const char* option = isPrefixOf(name, length, "help")      ? "help"
                         : isPrefixOf(name, length, "version") ? "version"
                                                               : nullptr;
    if (option == nullptr) {
        return usageError("unrecognized option '%s'", argument, std::strlen(argument));
    }
    if (equals != nullptr) {
        return usageError("option '--%s' doesn't allow an argument", option, std::strlen(option));
    }
    return decided(option[0] == 'h' ? CommandAction::Help : CommandAction::Version);
}

// A group of short options such as "-h": the first letter decides.
CommandLine shortOption(const char* argument) {
    if (argument[1] == 'h') {
        return decided(CommandAction::Help);
    }
    return usageError("invalid option -- '%s'", argument + 1, 1);
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    const char* target = nullptr;
    const char* extra = nullptr;
    bool optionsEnded = false;
    for (int k = 1; k < argc && argv[k] != nullptr; ++k) {
        const char* argument = argv[k];
        const bool isOption = !optionsEnded && argument[0] == '-' && argument[1] != 0;
        if (isOption && std::strcmp(argument, "--") == 0) {
            optionsEnded = true;
        } else if (isOption) {
            return argument[1] == '-' ? longOption(argument) : shortOption(argument);
        } else if (target == nullptr) {
            target = argument;
        } else if (extra == nullptr) {
            extra = argument;
        }
    }
    if (extra != nullptr) {
        return usageError("extra operand '%s'", extra, std::strlen(extra));
    }
    return CommandLine{CommandAction::Play, target, {}};
}
