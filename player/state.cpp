#include "player/state.h"

#include "platform/memory.h"

// Aligned so that its tables can be backed by large pages.
alignas(kLargePageSize) PlayerState S;

void resetPlayerState() {
    static bool advised = false;
    if (!advised) {
        adviseLargePages(&S, sizeof S);
        advised = true;
    }
    std::memset(&S, 0, sizeof S);
    copyCell(S.file_path, "path.txt");
    S.x = 25;
}

// Length of the UTF-8 character that starts at text, or 1 when the bytes
// there do not form one.
static std::size_t utf8CharLength(const unsigned char* text) {
    std::size_t length = 1;
    if (text[0] >= 0xF0 && text[0] <= 0xF4) {
        length = 4;
    } else if (text[0] >= 0xE0) {
        length = 3;
    } else if (text[0] >= 0xC2 && text[0] <= 0xDF) {
        length = 2;
    }
    if (text[0] < 0xC2 || text[0] > 0xF4) {
        return 1;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((text[k] & 0xC0) != 0x80) {
            return 1;
        }
    }
    return length;
}

void cutUtf8(char* text, std::size_t maxBytes) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t kept = 0;
    while (bytes[kept] != 0) {
        std::size_t next = kept + utf8CharLength(bytes + kept);
        if (next > maxBytes) {
            break;
        }
        kept = next;
    }
    text[kept] = 0;
}

// The characters that set or change the direction of text (U+061C, U+200E,
// U+200F, U+202A-U+202E, U+2066-U+2069): printed raw, one in a name can
// reorder the rest of its row on the screen.
static bool isBidiControl(const unsigned char* c, std::size_t length) {
    if (length == 2) {
        return c[0] == 0xD8 && c[1] == 0x9C;
    }
    if (length != 3 || c[0] != 0xE2) {
        return false;
    }
    return (c[1] == 0x80 && (c[2] == 0x8E || c[2] == 0x8F || (c[2] >= 0xAA && c[2] <= 0xAE))) ||
           (c[1] == 0x81 && c[2] >= 0xA6 && c[2] <= 0xA9);
}

void makePrintable(char* text) {
    auto* bytes = reinterpret_cast<unsigned char*>(text);
    while (*bytes != 0) {
        std::size_t length = utf8CharLength(bytes);
        bool control = bytes[0] < 0x20 || bytes[0] == 0x7F;
        bool notUtf8 = length == 1 && bytes[0] >= 0x80;
        bool c1Control = length == 2 && bytes[0] == 0xC2 && bytes[1] < 0xA0;
        if (control || notUtf8 || c1Control || isBidiControl(bytes, length)) {
            std::memset(bytes, '?', length);
        }
        bytes += length;
    }
}
