#include "player/media.h"

#include <algorithm>

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

unsigned secondsOf(const char* reply) {
    return static_cast<unsigned>(std::min(millisecondsOf(reply), 0xFFFFFFFFLL) / 1000);
}
