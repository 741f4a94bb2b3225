#include "tcconio/input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tcconio/conio_internal.h"
#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

constexpr char kEnter = 13;
constexpr char kEsc = 27;
constexpr char kBackspace = 8;
constexpr char kTab = 9;
constexpr char kSpace = ' ';

constexpr int kPromptRow = 2;
constexpr int kBannerRow = 25;
// The banner stays off the last column: a character there would make some
// terminals scroll the whole screen up a row.
constexpr int kBannerWidth = 79;
constexpr char kBannerEnd[] = "Press Esc to exit.";
constexpr char kBannerGap[] = "  ";

// One character of the typed text as the echo sees it.
struct Glyph {
    int length;       // bytes it takes
    bool printable;   // sent to the terminal as it is
    bool incomplete;  // the first bytes of a UTF-8 character, cut by the text's end
};

Glyph glyphAt(const FieldText& typed, int at) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(typed.text) + at;
    const int length = utf8CharLength(bytes, static_cast<std::size_t>(typed.count - at));
    if (length == 0) {
        return {1, false, false};
    }
    if (length < 0) {
        return {-length, false, true};
    }
    return {length, !isTerminalControl(bytes, static_cast<std::size_t>(length)), false};
}

// Echoes the text at the cursor. A byte that a terminal would take as a
// control, or that is no part of a UTF-8 character, shows as "?". The first
// bytes of a character still being typed show nothing until it is whole,
// unless the field is full and it never can be.
void echo(const FieldLayout& layout, const FieldText& typed) {
    char shown[kFieldSize];
    int length = 0;
    for (int at = 0; at < typed.count;) {
        const Glyph glyph = glyphAt(typed, at);
        if (glyph.printable) {
            std::memcpy(shown + length, typed.text + at, static_cast<std::size_t>(glyph.length));
            length += glyph.length;
        } else if (!glyph.incomplete || typed.count == layout.maxLength) {
            shown[length++] = '?';
        }
        at += glyph.length;
    }
    std::fwrite(shown, 1, static_cast<std::size_t>(length), stdout);
}

void printBanner(const char* title) {
    const int room = kBannerWidth - static_cast<int>(sizeof kBannerGap - 1) -
                     static_cast<int>(sizeof kBannerEnd - 1);
    const int titleLength = std::min(static_cast<int>(std::strlen(title)), room);
    gotoxy(1, kBannerRow);
    std::printf("%.*s%s%s", titleLength, title, kBannerGap, kBannerEnd);
}

// The field's whole screen: banner, prompt and the text typed so far.
void drawField(const FieldLayout& layout, const FieldText& typed) {
    clrscr();
    printBanner(layout.title);
    gotoxy(1, kPromptRow);
    std::printf("%s", layout.prompt);
    echo(layout, typed);
}

void removeLastCharacter(FieldText* typed) {
    int last = 0;
    for (int at = 0; at < typed->count; at += glyphAt(*typed, at).length) {
        last = at;
    }
    std::memset(typed->text + last, 0, static_cast<std::size_t>(typed->count - last));
    typed->count = last;
}

enum class KeyResult { Continue, Accepted, Cancelled };

KeyResult handleKey(const FieldLayout& layout, FieldText* typed, char key) {
    switch (key) {
        case kEsc:
            return KeyResult::Cancelled;
        case kEnter:
            return typed->count > 0 ? KeyResult::Accepted : KeyResult::Continue;
        case kTab:
            return KeyResult::Continue;
        case kBackspace:
            if (typed->count > 0) {
                removeLastCharacter(typed);
                drawField(layout, *typed);
            }
            return KeyResult::Continue;
        default:
            break;
    }
    if (key == kSpace && typed->count == 0 && layout.ignoreLeadingSpace) {
        return KeyResult::Continue;
    }
    const int limit = std::min(layout.maxLength, kFieldSize - 1);
    if (typed->count < limit) {
        typed->text[typed->count++] = key;
        gotoxy(layout.echoColumn, kPromptRow);
        echo(layout, *typed);
    }
    return KeyResult::Continue;
}

void openField(const FieldLayout& layout, FieldText* typed) {
    std::memset(typed, 0, sizeof *typed);
    drawField(layout, *typed);
}

FieldOutcome outcomeOf(KeyResult result) {
    return result == KeyResult::Accepted ? FieldOutcome::Accepted : FieldOutcome::Cancelled;
}

// The blocking form's step: nothing to do but to look at the terminal's size
// now and then, since the SIGWINCH that announces a new size does not end a
// wait for a key.
int lookAtTheSize() {
    return kSizeLookMilliseconds;
}

}  // namespace

void waitForWholeKey() {
    const int key = _getch();
    if (isKeyPrefix(key)) {
        _getch();
    }
}

FieldOutcome InputField(const FieldLayout& layout, FieldText* typed) {
    return InputField(layout, typed, lookAtTheSize);
}

// A terminal that changed its size gets the field drawn anew at the next pass.
FieldOutcome InputField(const FieldLayout& layout, FieldText* typed, int (*step)()) {
    openField(layout, typed);
    for (;;) {
        const int wait = step();
        if (wait < 0) {
            return FieldOutcome::Ended;
        }
        if (conioTakeResize()) {
            conioRequireSize();
            drawField(layout, *typed);
        }
        if (!sleepUntilKey(static_cast<unsigned>(wait))) {
            continue;
        }
        KeyResult result = handleKey(layout, typed, static_cast<char>(_getch()));
        if (result != KeyResult::Continue) {
            return outcomeOf(result);
        }
    }
}
