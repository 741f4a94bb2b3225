#include "player/notices.h"

#include <cstdio>

#include "platform/bus/notify.h"
#include "player/resume.h"
#include "player/state.h"
#include "player/tags.h"
#include "tcconio/tcconio.h"

namespace {

constexpr int kMessageRow = 25;

}  // namespace

void toggleNotices() {
    S.notices = S.notices ? 0 : 1;
    userSettingChanged(UserSetting::Notices);
    gotoxy(1, kMessageRow);
    textcolor(7);
    clreol();
    std::printf("Desktop notices %s", S.notices ? "on" : "off");
}

void announceSongChange() {
    if (!S.notices || !S.trackOpen) {
        return;
    }
    char summary[kCellSize * 2 + 4];
    describePlayingSong(S.Label, summary, sizeof summary);
    notifyShow(summary);
}
