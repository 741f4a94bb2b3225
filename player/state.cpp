#include "player/state.h"

#include "platform/memory.h"
#include "tcconio/tcconio.h"

PlayerState S;

void resetPlayerState() {
    static bool advised = false;
    if (!advised) {
        adviseLargePages(&S, sizeof S);
        keepFreedMemoryForReuse();
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

void makePrintable(char* text) {
    auto* bytes = reinterpret_cast<unsigned char*>(text);
    while (*bytes != 0) {
        std::size_t length = utf8CharLength(bytes);
        if (isTerminalControl(bytes, length)) {
            std::memset(bytes, '?', length);
        }
        bytes += length;
    }
}
