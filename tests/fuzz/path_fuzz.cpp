// path.txt as the player reads it at a start in a folder without songs.
#include <unistd.h>

#include <cstring>

#include "guard.h"
#include "player/startup.h"
#include "player/state.h"
#include "tests/unit/player/fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool entered = chdir(fuzzFolder().c_str()) == 0;
    require(entered, "cannot enter the folder");
    resetPlayerState();
    fake::resetKeyboard();
    writeWhole("path.txt", data, size);
    // A path the player refuses ends it with a message; the folder prompt,
    // which only a missing path.txt opens, would wait for keys.
    if (runGuarded([] { settleMusicFolder(); })) {
        require(std::memchr(S.dirname, 0, sizeof S.dirname) != nullptr, "an unended folder");
        // Relative, it stays so only when its full path does not fit.
        require(S.dirname[0] == 0 || S.dirname[0] == '/' ||
                    std::strlen(S.old_path) + 1 + std::strlen(S.dirname) >= sizeof S.dirname,
                "a relative folder that fits was not made full");
    }
    return 0;
}
