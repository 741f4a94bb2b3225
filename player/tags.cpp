#include "player/tags.h"

#include <cstdio>

#include "platform/shortname.h"
#include "platform/songtags.h"
#include "player/state.h"
#include "tcconio/tcconio.h"

namespace {

constexpr int kTagColumn = 25;
constexpr int kTagRow = 17;
// Up to column 79, so that the terminal never wraps after the last one.
constexpr int kTagColumns = 79 - kTagColumn + 1;

SongTags playing;

void makeFieldPrintable(char* field) {
    cutUtf8(field, kTagTextSize - 1);
    makePrintable(field);
}

}  // namespace

void takeTagsOfPlayingSong(bool started) {
    playing = SongTags{};
    char file[kCellSize * 2];
    // Play has made the music folder the working directory, and the name it
    // opened resolves to the file's own name there.
    if (started && ResolveShortName(S.NextSong[S.num], file, sizeof file)) {
        readSongTags(file, &playing);
        makeFieldPrintable(playing.title);
        makeFieldPrintable(playing.artist);
        makeFieldPrintable(playing.album);
    }
    drawTagRow();
}

void describePlayingSong(const char* label, char* out, unsigned size) {
    const bool both = playing.artist[0] != 0 && playing.title[0] != 0;
    if (playing.artist[0] == 0 && playing.title[0] == 0) {
        std::snprintf(out, size, "%s", label);
    } else {
        std::snprintf(out, size, "%s%s%s", playing.artist, both ? " - " : "", playing.title);
    }
}

void drawTagRow() {
    char line[kTagTextSize * 2 + 4];
    describePlayingSong("", line, sizeof line);
    cutToColumns(line, kTagColumns);
    gotoxy(kTagColumn, kTagRow);
    textcolor(7);
    clreol();
    std::printf("%s", line);
}

const char* playingTitle() {
    return playing.title;
}

const char* playingArtist() {
    return playing.artist;
}

const char* playingAlbum() {
    return playing.album;
}
