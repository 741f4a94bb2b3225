// The player's entry: settles the music folder, builds the catalogue and its
// pages, obtains the songs' lengths, starts the first song and hands over to
// the main screen. Arguments are ignored.

#include "player/cache.h"
#include "player/catalogue.h"
#include "player/playback.h"
#include "player/remote.h"
#include "player/screen.h"
#include "player/startup.h"
#include "player/state.h"
#include "tcconio/tcconio.h"

int main() {
    conioStart();
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
    remoteStart();
    Usage();
}
