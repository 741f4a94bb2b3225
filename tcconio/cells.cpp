// How many columns of the terminal a text takes.

#include <locale.h>
#include <wchar.h>

#include <cstdint>

#include "tcconio/tcconio.h"

namespace {

// Character widths come from the C library's tables for UTF-8, whatever
// locale the program runs in; they are what terminals follow.
locale_t utf8Locale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return locale;
}

// The code point of a character of two bytes or more.
std::uint32_t codePoint(const unsigned char* c, int length) {
    std::uint32_t code = c[0] & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        code = code << 6 | (c[k] & 0x3F);
    }
    return code;
}

// Columns of one character of two bytes or more; without the tables each
// counts two, so that a text never runs past its room.
int columnsOf(const unsigned char* c, int length) {
    if (utf8Locale() == nullptr) {
        return 2;
    }
    const int width = wcwidth(static_cast<wchar_t>(codePoint(c, length)));
    return width < 0 ? 1 : width;
}

}  // namespace

void cutToColumns(char* text, int columns) {
    auto* bytes = reinterpret_cast<unsigned char*>(text);
    const locale_t previous = utf8Locale() != nullptr ? uselocale(utf8Locale()) : nullptr;
    std::size_t at = 0;
    int used = 0;
    while (bytes[at] != 0) {
        int length = utf8CharLength(bytes + at, 4);
        length = length > 0 ? length : 1;
        const int width = length > 1 ? columnsOf(bytes + at, length) : 1;
        if (used + width > columns) {
            break;
        }
        used += width;
        at += static_cast<std::size_t>(length);
    }
    bytes[at] = 0;
    if (previous != nullptr) {
        uselocale(previous);
    }
}
