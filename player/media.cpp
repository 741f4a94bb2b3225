#include "player/media.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/mci/mci.h"
#include "player/state.h"
#include "tcconio/tcconio.h"

void failWith(const char* word) {
    int saved = errno;
    conioRestore();
    errno = saved;
    std::perror(word);
    std::exit(1);
}

void endWithMessage(const char* what, const char* detail) {
    conioRestore();
    std::fprintf(stderr, "mp3: %s%s\n", what, detail);
    std::exit(1);
}

void sendChecked(const char* command, char* reply, unsigned replySize, const char* word) {
    S.err = mciSendString(command, reply, replySize);
    if (S.err > 0) {
        failWith(word);
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
