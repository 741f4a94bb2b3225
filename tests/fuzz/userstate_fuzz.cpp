// The user's state file: whatever its bytes, reading them either refuses
// them, leaving the state empty, or gives a state within its bounds that
// writes out and reads back as the same state.
#include <cstring>

#include "guard.h"
#include "player/userstate.h"

namespace {

// Large (each point has room for a whole path): kept out of the stack.
UserState parsed;
UserState again;
char written[kUserStateBytes];

bool terminated(const char* text, std::size_t size) {
    return std::memchr(text, 0, size) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!parseUserState(reinterpret_cast<const char*>(data), size, &parsed)) {
        require(parsed.count == 0 && parsed.volume == 1000, "a refused file left state behind");
        return 0;
    }
    require(parsed.volume >= 0 && parsed.volume <= 1000, "a volume out of range");
    require(parsed.count >= 0 && parsed.count <= kResumeFolders, "a count out of range");
    for (int i = 0; i < parsed.count; ++i) {
        const ResumePoint& point = parsed.points[i];
        require(terminated(point.folder, sizeof point.folder) &&
                    terminated(point.name, sizeof point.name),
                "a point without the end of its texts");
        require(point.folder[0] == '/' && point.name[0] != 0, "a point without folder or name");
    }
    const std::size_t length = formatUserState(parsed, written, sizeof written);
    require(length > 0, "a state that was read cannot be written");
    require(parseUserState(written, length, &again), "a state written cannot be read back");
    require(again.volume == parsed.volume && again.count == parsed.count &&
                again.shuffle == parsed.shuffle && again.repeatMode == parsed.repeatMode &&
                again.notices == parsed.notices && again.gainMode == parsed.gainMode,
            "a state reads back otherwise");
    for (int i = 0; i < parsed.count; ++i) {
        require(again.points[i].seconds == parsed.points[i].seconds &&
                    std::strcmp(again.points[i].folder, parsed.points[i].folder) == 0 &&
                    std::strcmp(again.points[i].name, parsed.points[i].name) == 0,
                "a point reads back otherwise");
    }
    return 0;
}
