// The floor of a start with an unchanged cache: list the folder and read the
// three cache files, then say "listed" and wait to be ended. bench/folder-time
// times it in the same terminal as the player.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <initializer_list>

namespace {

long readWhole(const char* name) {
    static char buffer[64 * 1024];
    int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    long total = 0;
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        total += got;
    }
    close(fd);
    return total;
}

}  // namespace

int main() {
    DIR* folder = opendir(".");
    if (folder == nullptr) {
        return 2;
    }
    long entries = 0;
    while (readdir(folder) != nullptr) {
        ++entries;
    }
    closedir(folder);
    long bytes = 0;
    for (const char* name : {"length.txt", "number.txt", "names.txt"}) {
        long size = readWhole(name);
        if (size < 0) {
            std::fprintf(stderr, "cache_floor: %s is missing\n", name);
            return 2;
        }
        bytes += size;
    }
    std::printf("listed %ld entries, %ld bytes\n", entries, bytes);
    std::fflush(stdout);
    pause();
}
