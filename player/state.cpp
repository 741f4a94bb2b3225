#include "player/state.h"

#include "platform/memory.h"
#include "tcconio/tcconio.h"

PlayerState S;

void resetPlayerState() {
    static bool advised = false;
    if (!advised) {
        adviseLargePages(&S, sizeof S);
        advised = true;
    }
    std::memset(&S, 0, sizeof S);
    copyCell(S.file_path, "path.txt");
    S.x = 25;
    S.volume = kFullVolume;  // as a track opens
}

// Length of the UTF-8 character that starts at text, or 1 when the bytes
// there do not form one. A character has at most 4 bytes, and text ends
// with a zero that no character runs across.
static std::size_t charLengthAt(const unsigned char* text) {
    const int length = utf8CharLength(text, 4);
    return length > 0 ? static_cast<std::size_t>(length) : 1;
}

void cutUtf8(char* text, std::size_t maxBytes) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t kept = 0;
    while (bytes[kept] != 0) {
        std::size_t next = kept + charLengthAt(bytes + kept);
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
        std::size_t length = charLengthAt(bytes);
        if (isTerminalControl(bytes, length)) {
            std::memset(bytes, '?', length);
        }
        bytes += length;
    }
}
