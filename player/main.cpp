// The player's entry: settles the music folder, builds the catalogue and its
// pages, obtains the songs' lengths, starts the first song and hands over to
// the main screen. Arguments are ignored.

#include "platform/mci/mci.h"
#include "player/cache.h"
#include "player/catalogue.h"
#include "player/playback.h"
#include "player/screen.h"
#include "player/startup.h"
#include "player/state.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

// The engine's signal that a track played to its end; taking it is all that
// is needed, since the main loop's next mode query finds the track stopped.
void takeTrackEnd(void*) {
    mciTakeNotify();
}

}  // namespace

int main() {
    conioStart();
    // Every wait of the screens ends when a track ends, as on a key.
    conioWatch(mciNotifyDescriptor(), takeTrackEnd, nullptr);
    resetPlayerState();
    conioRequireSize();
    clrscr();
    lookUpUserName();
    clrscr();
    settleMusicFolder();
    GetAllSong();
    init();
    readCacheFiles();
    Play();
    Usage();
}
