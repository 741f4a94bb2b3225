// The four screen operations, as ANSI/ECMA-48 sequences on the stdio stream
// stdout, so that they stay in order with the player's printf output.

#include <cstdint>
#include <cstdio>

#include "tcconio/conio_internal.h"
#include "tcconio/tcconio.h"

namespace {

// Console cell attribute that everything written from now on takes.
std::uint16_t currentAttribute = 7;
// The attribute whose SGR the terminal holds now, or -1 when not known. The
// main loop sets colours many times a second; sending only changes keeps the
// output small.
int sentAttribute = -1;

// Console colour bits are blue 1, green 2, red 4; ANSI numbers red 1, green 2,
// blue 4: swap bits 0 and 2.
int ansiColour(int consoleColour) {
    return ((consoleColour & 1) << 2) | (consoleColour & 2) | ((consoleColour & 4) >> 2);
}

// Fills buf with the SGR for attr. It always starts from a reset so that the
// result does not depend on what the terminal held before. Background 0 is
// left to the terminal's own background, and grey on it is the terminal's own
// foreground, so the player's normal colour looks native in light and dark
// themes alike.
void formatSgr(char* buf, std::size_t size, std::uint16_t attr) {
    int fg = attr & 0x0F;
    int bg = (attr >> 4) & 0x0F;
    if (bg == 0 && fg == 7) {
        std::snprintf(buf, size, "\x1b[0m");
        return;
    }
    int fgCode = ((fg & 8) ? 90 : 30) + ansiColour(fg);
    if (bg == 0) {
        std::snprintf(buf, size, "\x1b[0;%dm", fgCode);
        return;
    }
    int bgCode = ((bg & 8) ? 100 : 40) + ansiColour(bg);
    std::snprintf(buf, size, "\x1b[0;%d;%dm", fgCode, bgCode);
}

void sendAttribute() {
    char sgr[32];
    formatSgr(sgr, sizeof sgr, currentAttribute);
    std::fputs(sgr, stdout);
    sentAttribute = currentAttribute & 0xFF;
}

bool screenActive() {
    int cols = 0;
    int rows = 0;
    return conioScreenSize(&cols, &rows);
}

}  // namespace

void conioSendAttribute() {
    if (screenActive()) {
        sendAttribute();
    }
}

void conioResetAttribute() {
    currentAttribute = 7;
    sentAttribute = -1;
}

void gotoxy(int x, int y) {
    int cols = 0;
    int rows = 0;
    if (!conioScreenSize(&cols, &rows)) {
        return;
    }
    // The console refuses a position outside its buffer and the cursor stays.
    if (x < 1 || y < 1 || x > cols || y > rows) {
        return;
    }
    std::fprintf(stdout, "\x1b[%d;%dH", y, x);
}

// Erase sequences blank in the current SGR background, which is the current
// attribute's, so the blanks carry it as the console's fill does.
void clrscr() {
    if (screenActive()) {
        std::fputs("\x1b[2J\x1b[H", stdout);
    }
}

void clreol() {
    if (screenActive()) {
        std::fputs("\x1b[K", stdout);
    }
}

void textcolor(int color) {
    // The console keeps a 16-bit attribute; only its low byte has colours.
    currentAttribute = static_cast<std::uint16_t>((currentAttribute & 0xF0) | color);
    if ((currentAttribute & 0xFF) == sentAttribute) {
        return;
    }
    if (screenActive()) {
        sendAttribute();
    }
}

namespace {

// Whether byte can follow lead as the second byte of a UTF-8 character: the
// ranges that exclude overlong forms, surrogates and code points past U+10FFFF.
bool validSecondByte(unsigned char lead, unsigned char byte) {
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead == 0xE0) {
        low = 0xA0;
    } else if (lead == 0xED) {
        high = 0x9F;
    } else if (lead == 0xF0) {
        low = 0x90;
    } else if (lead == 0xF4) {
        high = 0x8F;
    }
    return byte >= low && byte <= high;
}

int lengthOfLead(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

}  // namespace

int utf8CharLength(const unsigned char* c, std::size_t available) {
    const int length = lengthOfLead(c[0]);
    for (int k = 1; k < length; ++k) {
        if (static_cast<std::size_t>(k) == available) {
            return -k;
        }
        const bool fits = k == 1 ? validSecondByte(c[0], c[1]) : (c[k] & 0xC0) == 0x80;
        if (!fits) {
            return 0;
        }
    }
    return length;
}

bool isTerminalControl(const unsigned char* c, std::size_t length) {
    if (length == 1) {
        return c[0] < 0x20 || c[0] >= 0x7F;
    }
    if (length == 2) {
        return (c[0] == 0xC2 && c[1] < 0xA0) || (c[0] == 0xD8 && c[1] == 0x9C);
    }
    if (length != 3 || c[0] != 0xE2) {
        return false;
    }
    return (c[1] == 0x80 && (c[2] == 0x8E || c[2] == 0x8F || (c[2] >= 0xAA && c[2] <= 0xAE))) ||
           (c[1] == 0x81 && c[2] >= 0xA6 && c[2] <= 0xA9);
}
