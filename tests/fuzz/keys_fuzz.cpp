// The key decoder, over byte streams as a terminal sends them: the input
// becomes standard input through a pipe, and keys are taken until it ends.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "guard.h"
#include "tcconio/conio_test_hooks.h"
#include "tcconio/keyboard.h"

namespace {

// A pipe holds this much without a reader; longer inputs are cut to it.
constexpr std::size_t kMostBytes = 60000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    size = std::min(size, kMostBytes);
    int ends[2];
    require(pipe2(ends, O_CLOEXEC) == 0, "cannot make a pipe");
    require(fcntl(ends[1], F_SETPIPE_SZ, 1 << 16) >= static_cast<int>(kMostBytes),
            "a pipe too small");
    require(write(ends[1], data, size) == static_cast<ssize_t>(size), "cannot fill the pipe");
    close(ends[1]);
    require(dup2(ends[0], STDIN_FILENO) == STDIN_FILENO, "cannot make the pipe standard input");
    close(ends[0]);
    conioForgetInput();

    std::size_t codes = 0;
    runGuarded([&] {
        for (;;) {  // ends when _getch finds the end of the input
            const int code = _getch();
            require(code >= 0 && code <= 255, "a code out of range");
            // Each byte gives at most one key of at most two codes.
            require(++codes <= 2 * size, "more codes than the bytes can carry");
            if (_kbhit() == 0) {
                require(!sleepUntilKey(0), "a key that _kbhit did not see");
            }
        }
    });
    return 0;
}
