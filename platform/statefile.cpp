#include "platform/statefile.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fs.h"
#include "platform/replacefile.h"

namespace {

constexpr const char* kFolderName = "folderplay";
constexpr const char* kFileName = "state";

// The user's home: $HOME when it is an absolute path, otherwise the user
// database's entry.
const char* homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    const passwd* entry = getpwuid(geteuid());
    return entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/' ? entry->pw_dir
                                                                                   : nullptr;
}

// The folder of the file, without a trailing "/".
bool stateFolder(char* out, std::size_t size) {
    const char* base = std::getenv("XDG_STATE_HOME");
    int length = 0;
    if (base != nullptr && base[0] == '/') {
        length = std::snprintf(out, size, "%s/%s", base, kFolderName);
    } else if (const char* home = homeFolder()) {
        length = std::snprintf(out, size, "%s/.local/state/%s", home, kFolderName);
    } else {
        return false;
    }
    return length > 0 && static_cast<std::size_t>(length) < size;
}

// Makes folder and every missing folder above it.
bool makeFolders(char* folder) {
    for (char* slash = std::strchr(folder + 1, '/');; slash = std::strchr(slash + 1, '/')) {
        if (slash != nullptr) {
            *slash = 0;
        }
        const bool made = mkdir(folder, 0700) == 0 || errno == EEXIST;
        if (slash == nullptr || !made) {
            return made;
        }
        *slash = '/';
    }
}

// The file that a write replaces: the file itself, or, when a symbolic link
// (a dotfile manager's) stands in its place, the regular file it leads to,
// so that the link stays. False for a link that leads nowhere or to anything
// but a regular file: that is left alone, and the state goes unsaved.
bool replacedFile(const char* path, char (&target)[PATH_MAX]) {
    struct stat info;
    if (lstat(path, &info) != 0 || !S_ISLNK(info.st_mode)) {
        std::snprintf(target, sizeof target, "%s", path);
        return true;
    }
    return realpath(path, target) != nullptr && stat(target, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool userStateFilePath(char* out, std::size_t size) {
    if (!stateFolder(out, size)) {
        return false;
    }
    const std::size_t length = std::strlen(out);
    const int added = std::snprintf(out + length, size - length, "/%s", kFileName);
    return added > 0 && static_cast<std::size_t>(added) < size - length;
}

long readUserStateFile(char* buffer, std::size_t size) {
    char path[PATH_MAX];
    if (!userStateFilePath(path, sizeof path)) {
        return -1;
    }
    std::FILE* file = fopenRegularFile(path);
    if (file == nullptr) {
        return -1;
    }
    const std::size_t got = std::fread(buffer, 1, size, file);
    const bool whole = !std::ferror(file) && std::fgetc(file) == EOF && !std::ferror(file);
    std::fclose(file);
    return whole ? static_cast<long>(got) : -1;
}

bool writeUserStateFile(const char* bytes, std::size_t size) {
    char folder[PATH_MAX];
    char named[PATH_MAX];
    char path[PATH_MAX];
    if (!stateFolder(folder, sizeof folder) || !userStateFilePath(named, sizeof named) ||
        !makeFolders(folder) || !replacedFile(named, path)) {
        return false;
    }
    ReplacementFile file;
    if (!createReplacement(path, &file)) {
        return false;
    }
    const bool written = std::fwrite(bytes, 1, size, file.stream) == size;
    if (!finishReplacement(&file) || !written || !installReplacement(&file, path)) {
        discardReplacement(&file);
        return false;
    }
    return true;
}
