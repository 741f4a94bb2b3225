// Runs the console layer on a real (pseudo-)terminal for the session tests.
//   conio_probe keys   prints every key code as <code> until 'q', then exit(1);
//                      after a prefix code a '!' tells that _kbhit() missed
//                      the scan code that follows
//   conio_probe size   runs conioRequireSize(), then prints whether a key is
//                      still waiting and conioTakeResize() twice, then exit(1)
//   conio_probe crash  waits for a key: 's' touches an unmapped address,
//                      'a' calls abort()
//   conio_probe keyfirst  waits until a key is waiting, then runs
//                      conioRequireSize() and prints as "size" does
//   conio_probe streams  opens a file and tells on descriptor 3 which
//                      descriptor it got and whether 0, 1 and 2 are open

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tcconio/keyboard.h"
#include "tcconio/tcconio.h"

namespace {

[[noreturn]] void echoKeys() {
    for (;;) {
        int code = _getch();
        std::printf("<%d>", code);
        if ((code == 0 || code == 224) && !_kbhit()) {
            std::printf("!");
        }
        if (code == 'q') {
            std::exit(1);
        }
    }
}

[[noreturn]] void requireSizeAndReport() {
    conioRequireSize();
    bool resized = conioTakeResize();
    std::printf("DONE kbhit=%d resized=%d,%d\n", _kbhit(), resized, conioTakeResize());
    std::exit(1);
}

[[noreturn]] void reportStreams() {
    int opened = open("/dev/null", O_RDONLY);
    dprintf(3, "opened=%d open=%d%d%d\n", opened, fcntl(0, F_GETFD) != -1, fcntl(1, F_GETFD) != -1,
            fcntl(2, F_GETFD) != -1);
    std::exit(1);
}

[[noreturn]] void crashOnKey() {
    if (_getch() == 's') {
        // Page zero is never mapped.
        *reinterpret_cast<volatile int*>(std::uintptr_t{16}) = 1;
    }
    std::abort();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    conioStart();
    std::printf("READY\n");
    if (std::strcmp(argv[1], "keys") == 0) {
        echoKeys();
    }
    if (std::strcmp(argv[1], "crash") == 0) {
        crashOnKey();
    }
    if (std::strcmp(argv[1], "size") == 0) {
        requireSizeAndReport();
    }
    if (std::strcmp(argv[1], "keyfirst") == 0) {
        while (!_kbhit()) {
            sleepUntilKey(1000);
        }
        requireSizeAndReport();
    }
    if (std::strcmp(argv[1], "streams") == 0) {
        reportStreams();
    }
    return 2;
}
