#include "player/folder.h"

#include <cstdio>
#include <cstring>

#include "platform/fs.h"
#include "platform/replacefile.h"
#include "player/ending.h"
#include "player/resume.h"
#include "player/state.h"
#include "player/title.h"
#include "tcconio/input.h"
#include "tcconio/tcconio.h"

namespace {

constexpr int kPathMaxTyped = 100;
// Room for any working directory the system can report.
constexpr unsigned kWorkingDirectorySize = 4096;

enum class FolderCheck { Entered, NotValid, TooLong };

// The prompt's step: the song that plays on behind the prompt of L keeps its
// point followed, as behind the main screen; and the field looks at the
// terminal's size as often as the blocking form does.
int followThePoint() {
    constexpr int kStepMilliseconds = 250;
    resumeTick();
    return kStepMilliseconds;
}

FieldLayout folderPromptLayout() {
    return FieldLayout{kProductTitle, "Enter path to your mp3 song(s): ", 33, kPathMaxTyped, true};
}

// Changes into the typed folder and keeps its full path in full. A stored 0
// byte (an F-key's prefix) cannot be part of a path: taking the text up to it
// would enter a folder other than the one typed.
FolderCheck enterTypedFolder(const FieldText& typed, Cell& full) {
    if (std::memchr(typed.text, 0, static_cast<std::size_t>(typed.count)) != nullptr) {
        return FolderCheck::NotValid;
    }
    char here[kWorkingDirectorySize];
    unsigned length = GetCurrentDirectory(sizeof here, here);
    if (length == 0 || length >= sizeof here) {
        here[0] = 0;
    }
    if (!fullFolderPath(typed.text, here, full)) {
        return FolderCheck::TooLong;
    }
    return _chdir(full) < 0 ? FolderCheck::NotValid : FolderCheck::Entered;
}

void showRejection(FolderCheck check) {
    gotoxy(33, 15);
    std::printf(check == FolderCheck::TooLong ? "Path is too long!" : "Path is not valid!");
    waitForWholeKey();
}

// Records the folder exactly as typed. The file cannot be left out: without
// it the next start would not know the folder. It is replaced whole, as the
// cache files are: a path cut short by a full disk could name another folder.
void writeFolderFile(const char* typed) {
    _chdir(S.old_path);
    // A folder or a FIFO of that name is not ours to replace.
    if (!mayReplace(S.file_path)) {
        endWithMessage("path.txt is not a regular file; ", "remove or rename it");
    }
    ReplacementFile folderFile;
    if (!createReplacement(S.file_path, &folderFile)) {
        endWithError("cannot create path.txt");
    }
    std::fprintf(folderFile.stream, "%s", typed);
    if (!finishReplacement(&folderFile)) {
        discardReplacement(&folderFile);
        endWithError("cannot write path.txt");
    }
    if (!installReplacement(&folderFile, S.file_path)) {
        discardReplacement(&folderFile);
        endWithError("cannot create path.txt");
    }
}

}  // namespace

bool fullFolderPath(const char* folder, const char* base, Cell& full) {
    char joined[2 * kCellSize + kWorkingDirectorySize];
    if (folder[0] == '/') {
        std::snprintf(joined, sizeof joined, "%s", folder);
    } else if (base[0] == 0) {
        return false;
    } else {
        const std::size_t baseLength = std::strlen(base);
        const char* separator = base[baseLength - 1] == '/' ? "" : "/";
        std::snprintf(joined, sizeof joined, "%s%s%s", base, separator, folder);
    }
    if (std::strlen(joined) >= kCellSize) {
        return false;
    }
    copyCell(full, joined);
    return true;
}

int enter_path() {
    FieldText typed;
    Cell full;
    for (;;) {
        if (InputField(folderPromptLayout(), &typed, followThePoint) == FieldOutcome::Cancelled) {
            return -1;
        }
        FolderCheck check = enterTypedFolder(typed, full);
        if (check == FolderCheck::Entered) {
            break;
        }
        showRejection(check);
    }
    copyCell(S.dirname, full);
    writeFolderFile(typed.text);
    return 0;
}
