// The player's entry: reads the command line, settles the music folder,
// builds the catalogue and its pages, obtains the songs' lengths, starts the
// first song and hands over to the main screen.

#include <cstdio>
#include <cstring>

#include "player/cache.h"
#include "player/catalogue.h"
#include "player/cmdline.h"
#include "player/events.h"
#include "player/playback.h"
#include "player/quit.h"
#include "player/remote.h"
#include "player/resume.h"
#include "player/screen.h"
#include "player/startup.h"
#include "player/state.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

// Help and version go to standard output; one that cannot be written (a full
// disk, a closed pipe) is a failure, not a silent success.
int printAndEnd(const char* text) {
    std::fputs(text, stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::perror("mp3: write error");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine line = parseCommandLine(argc, argv);
    switch (line.action) {
        case CommandAction::Help:
            return printAndEnd(kUsageText);
        case CommandAction::Version:
            return printAndEnd(kVersionText);
        case CommandAction::UsageError:
            std::fprintf(stderr, "mp3: %s\nTry 'mp3 --help'.\n", line.error);
            return 2;
        case CommandAction::Play:
            break;
    }
    resetPlayerState();
    // Before the terminal is taken, so that a path refused leaves it as it was.
    if (line.target != nullptr) {
        enterFolderFromCommandLine(line.target);
    }
    conioStart();
    // Every wait of the screens ends on a track's end, a resize or the bus.
    startEventLoop();
    // Ctrl+C, SIGTERM and a closed terminal end through the player, which
    // records its point first.
    watchDescriptor(
        conioTakeEndSignals(), [](void*) { endOnSignal(); }, nullptr);
    conioBeforeInputEnd(recordAtEnd);
    conioRequireSize();
    clrscr();
    lookUpUserName();
    clrscr();
    settleMusicFolder();
    GetAllSong();
    init();
    readCacheFiles();
    startFromGivenSong();
    takeUpUserState();
    Play();
    remoteStart();
    Usage();
}
