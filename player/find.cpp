#include "player/find.h"

#include <cstdio>
#include <cstring>

#include "platform/textfold.h"
#include "player/pages.h"
#include "player/state.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

constexpr int kFieldRow = 25;
constexpr int kMarkColour = 11;  // light cyan: the song found
// Bytes typed: as many as a display name holds.
constexpr int kTextMax = kDisplayNameMax;
constexpr char kEnter = 13;
constexpr char kEsc = 27;
constexpr char kBackspace = 8;
constexpr char kTab = 9;
constexpr char kDownCode = 'P';  // the second code of the Down arrow

// Room for a display name with its letters folded: a letter's lower case can
// take a byte more than its upper case.
constexpr std::size_t kFoldedSize = kCellSize * 2;

struct Match {
    int found = -1;   // catalogue index of the song found; -1 for none
    int ordinal = 0;  // which of the songs that match the text it is, from 1
    int matches = 0;  // how many songs match the text
};

struct Find {
    bool open = false;
    char text[kTextMax + 1] = {};
    int count = 0;
    bool afterPrefix = false;  // the next code is the second of an extended key
    Match match;
    bool noMatch = false;  // no song matches the text: the last match stays shown
    int savedStopFlash = 0;
    KeysAt savedKeysAt = KeysAt::MainScreen;
};
Find find;

// The text ends inside a character (its first bytes typed, the rest to come).
bool endsInsideCharacter() {
    for (int at = 0; at < find.count;) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(find.text + at);
        const int length = utf8CharLength(bytes, static_cast<std::size_t>(find.count - at));
        if (length < 0) {
            return true;
        }
        at += length > 0 ? length : 1;
    }
    return false;
}

// Looks for the first song from catalogue index from on, round the folder,
// whose display name holds the text; counts the songs that match.
void search(int from) {
    char needle[kFoldedSize];
    foldLetterCase(find.text, needle, sizeof needle);
    int first = -1;
    int before = 0;  // matches before from
    Match& match = find.match;
    match = Match{};
    for (int song = 0; song < S.TotalSong; ++song) {
        char name[kFoldedSize];
        foldLetterCase(displayNameOf(song), name, sizeof name);
        if (std::strstr(name, needle) == nullptr) {
            continue;
        }
        ++match.matches;
        if (first < 0) {
            first = song;
        }
        if (song < from) {
            ++before;
        } else if (match.found < 0) {
            match.found = song;
            match.ordinal = before + 1;
        }
    }
    if (match.found < 0 && first >= 0) {
        match.found = first;
        match.ordinal = 1;
    }
}

// The rows of a page, one of them marked, and its number, drawn over the
// page shown; the page played from stays as it is.
void drawPage(int page, int markedSlot) {
    const int count = songsOnPage(page);
    for (int slot = 0; slot < kSlotsPerPage; ++slot) {
        gotoPlaylistRow(slot);
        clreol();
        if (slot < count) {
            textcolor(slot == markedSlot ? kMarkColour : 7);
            std::printf("%d. %s", slot + 1, S.p_List[page][slot]);
        }
    }
    textcolor(7);
    gotoxy(50, 4);
    clreol();
    std::printf("[%d]", page + 1);
}

void drawField() {
    char shown[kTextMax + 1];
    std::memcpy(shown, find.text, sizeof shown);
    makePrintable(shown);
    gotoxy(1, kFieldRow);
    textcolor(7);
    clreol();
    std::printf("Find: %s", shown);
    if (find.noMatch) {
        std::printf("   no match");
    } else if (find.count > 0 && find.match.found >= 0) {
        std::printf("   (%d of %d)", find.match.ordinal, find.match.matches);
    }
}

// The page of the song found with its row marked; with nothing typed, the
// page shown before the field opened.
void drawResult() {
    const int found = find.match.found;
    if (found >= 0) {
        drawPage(found / kSlotsPerPage, found % kSlotsPerPage);
    } else {
        drawPage(S.p_count, -1);
    }
    drawField();
}

void closeField() {
    S.stop_flash = find.savedStopFlash;
    S.keysAt = find.savedKeysAt;
    find.open = false;
    gotoxy(1, kFieldRow);
    clreol();
}

// A new text. While no song matches it the field says so, and the page and
// the song found stay as they were.
void retype() {
    find.noMatch = false;
    if (find.count == 0) {
        find.match = Match{};
    } else if (endsInsideCharacter()) {
        drawField();
        return;
    } else {
        const Match before = find.match;
        search(0);
        if (find.match.found < 0) {
            find.match = before;
            find.noMatch = true;
            drawField();
            return;
        }
    }
    drawResult();
}

void removeLastCharacter() {
    int at = find.count - 1;
    while (at > 0 && (static_cast<unsigned char>(find.text[at]) & 0xC0) == 0x80) {
        --at;
    }
    std::memset(find.text + at, 0, static_cast<std::size_t>(find.count - at));
    find.count = at;
}

}  // namespace

bool findIsOpen() {
    return find.open;
}

void openFind() {
    find = Find{};
    find.open = true;
    find.savedStopFlash = S.stop_flash;
    // The playing row does not flash over the rows of another page.
    S.stop_flash = 1;
    // Commands, from the bus too, are refused while the field has the keys,
    // as for a dialog.
    find.savedKeysAt = S.keysAt;
    S.keysAt = KeysAt::Dialog;
    drawField();
}

Command findKey(int code) {
    char key = static_cast<char>(code);
    if (find.afterPrefix) {
        find.afterPrefix = false;
        key = key == kDownCode ? kTab : 0;
    } else if (isKeyPrefix(static_cast<unsigned char>(key))) {
        find.afterPrefix = true;
        return {};
    }
    switch (key) {
        case kEsc:
            closeField();
            drawPage(S.p_count, -1);
            return {};
        case kEnter:
            if (find.noMatch || find.match.found < 0) {
                return {};
            }
            closeField();
            return {PlayerCommand::PlaySong, find.match.found};
        case kTab:
            if (!find.noMatch && find.match.found >= 0) {
                search(find.match.found + 1);
                drawResult();
            }
            return {};
        case kBackspace:
            if (find.count > 0) {
                removeLastCharacter();
                retype();
            }
            return {};
        default:
            break;
    }
    const auto byte = static_cast<unsigned char>(key);
    if (byte < 0x20 || byte == 0x7F || find.count == kTextMax) {
        return {};
    }
    find.text[find.count++] = key;
    retype();
    return {};
}

void drawFind() {
    if (find.open) {
        drawResult();
    }
}
