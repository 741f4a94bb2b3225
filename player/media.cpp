#include "player/media.h"

#include <algorithm>
#include <cstdio>

#include "platform/mci/mci.h"
#include "player/ending.h"
#include "player/state.h"

void sendChecked(const char* command, char* reply, unsigned replySize, const char* word) {
    S.err = mciSendString(command, reply, replySize);
    if (S.err > 0) {
        endWithError(word);
    }
}

void sendUnchecked(const char* command, char* reply, unsigned replySize) {
    mciSendString(command, reply, replySize);
}

long long millisecondsOf(const char* reply) {
    constexpr long long kFarBeyondAnyTrack = 1LL << 50;
    long long ms = 0;
    for (const char* digit = reply; *digit >= '0' && *digit <= '9'; ++digit) {
        if (ms < kFarBeyondAnyTrack) {
            ms = ms * 10 + (*digit - '0');
        }
    }
    return ms;
}

unsigned wholeSeconds(long long milliseconds) {
    return static_cast<unsigned>(std::clamp(milliseconds, 0LL, 0xFFFFFFFFLL) / 1000);
}

unsigned secondsOf(const char* reply) {
    return wholeSeconds(millisecondsOf(reply));
}

void formatSongTime(char* text, std::size_t size, unsigned seconds, bool withHours) {
    if (withHours) {
        std::snprintf(text, size, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    } else {
        std::snprintf(text, size, "%02u:%02u", seconds / 60, seconds % 60);
    }
}
