#include "player/ending.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "tcconio/tcconio.h"

void endWithError(const char* word) {
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
