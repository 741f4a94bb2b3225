#include "player/media.h"

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

void sendChecked(const char* command, char* reply, unsigned replySize, const char* word) {
    S.err = mciSendString(command, reply, replySize);
    if (S.err > 0) {
        failWith(word);
    }
}

void sendUnchecked(const char* command, char* reply, unsigned replySize) {
    mciSendString(command, reply, replySize);
}

unsigned secondsOf(const char* reply) {
    unsigned long long ms = 0;
    for (const char* digit = reply; *digit >= '0' && *digit <= '9'; ++digit) {
        ms = ms * 10 + static_cast<unsigned>(*digit - '0');
        if (ms > 0xFFFFFFFFull) {
            return 0xFFFFFFFFu / 1000;
        }
    }
    return static_cast<unsigned>(ms / 1000);
}
