#include "player/load.h"

#include <cstring>

#include "platform/fs.h"
#include "player/catalogue.h"
#include "player/folder.h"
#include "player/lengths.h"
#include "player/modes.h"
#include "player/playback.h"
#include "player/state.h"

namespace {

// Nothing of the old folder may steer the new one: neither its tables nor a
// page turn that its digit 9 asked for, a stop, a highlighted row, or its
// having been named on the command line.
void forgetOldFolder() {
    std::memset(S.NextSong, 0, sizeof S.NextSong);
    std::memset(S.CompareNames, 0, sizeof S.CompareNames);
    std::memset(S.ShortPathName, 0, sizeof S.ShortPathName);
    std::memset(S.LongFileName, 0, sizeof S.LongFileName);
    std::memset(S.p_List, 0, sizeof S.p_List);
    std::memset(S.p_file, 0, sizeof S.p_file);
    S.p_count = 0;
    S.m_null = 0;
    S.mm_time = 0;
    S.a_uto = 0;
    S.Control = 0;
    S.cannotPlayShown = 0;
    S.m_normal_text = 0;
    S.folderGiven = 0;
    forgetShuffleOrder();
}

}  // namespace

void LoadSongs() {
    _chdir(S.old_path);
    S.keysAt = KeysAt::FolderPrompt;
    const int entered = enter_path();
    S.keysAt = KeysAt::MainScreen;
    if (entered < 0) {
        return;
    }
    _chdir(S.dirname);
    forgetOldFolder();
    GetAllSong();
    GetTotalTimeAllSong();
    init();
    _chdir(S.old_path);
    // The old folder's song plays on until here.
    CloseSong();
    Play();
}
