// Runs the console layer on a real (pseudo-)terminal for the session tests.
//   conio_probe keys   prints every key code as <code> until 'q', then exit(1);
//                      after a prefix code a '!' tells that _kbhit() missed
//                      the scan code that follows
//   conio_probe size   runs conioRequireSize(), then prints whether a key is
//                      still waiting and conioTakeResize() twice, then exit(1)
//   conio_probe crash  waits for a key: 's' touches an unmapped address,
//                      'a' calls abort()

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
        conioRequireSize();
        bool resized = conioTakeResize();
        std::printf("DONE kbhit=%d resized=%d,%d\n", _kbhit(), resized, conioTakeResize());
        std::exit(1);
    }
    return 2;
}
