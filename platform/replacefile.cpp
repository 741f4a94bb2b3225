#include "platform/replacefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// A name of our own process: no other running process uses it. A file left
// under it by an earlier process with the same id is stale and is replaced.
bool makeTempName(const char* name, char* tempName, std::size_t size) {
    int length = std::snprintf(tempName, size, "%s.%ld.new", name, static_cast<long>(getpid()));
    if (length < 0 || static_cast<std::size_t>(length) >= size) {
        tempName[0] = 0;
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}

// O_EXCL and O_NOFOLLOW: a link planted under the temporary name is never
// written through.
int createExclusive(const char* tempName) {
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = open(tempName, flags, 0666);
    if (fd < 0 && errno == EEXIST && unlink(tempName) == 0) {
        fd = open(tempName, flags, 0666);
    }
    return fd;
}

}  // namespace

bool createReplacement(const char* name, ReplacementFile* file) {
    if (!makeTempName(name, file->tempName, sizeof file->tempName)) {
        return false;
    }
    int fd = createExclusive(file->tempName);
    if (fd < 0) {
        file->tempName[0] = 0;
        return false;
    }
    file->stream = fdopen(fd, "wb");
    if (file->stream == nullptr) {
        int saved = errno;
        close(fd);
        discardReplacement(file);
        errno = saved;
        return false;
    }
    return true;
}

bool finishReplacement(ReplacementFile* file) {
    FILE* stream = file->stream;
    file->stream = nullptr;
    bool written = std::fflush(stream) == 0 && !std::ferror(stream);
    int saved = errno;
    // The data reaches the disk before the rename can make it the file.
    if (written && fsync(fileno(stream)) != 0) {
        written = false;
        saved = errno;
    }
    if (std::fclose(stream) != 0 && written) {
        written = false;
        saved = errno;
    }
    if (!written) {
        errno = saved != 0 ? saved : EIO;
    }
    return written;
}

bool installReplacement(ReplacementFile* file, const char* name) {
    if (std::rename(file->tempName, name) != 0) {
        return false;
    }
    file->tempName[0] = 0;
    return true;
}

bool mayReplace(const char* name) {
    struct stat info;
    if (lstat(name, &info) != 0) {
        return errno == ENOENT;
    }
    if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) {
        return true;
    }
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return false;
}

int removeReplaceable(const char* name) {
    if (!mayReplace(name)) {
        return -1;
    }
    return unlink(name) == 0 || errno == ENOENT ? 0 : -1;
}

void discardReplacement(ReplacementFile* file) {
    int saved = errno;
    if (file->stream != nullptr) {
        std::fclose(file->stream);
        file->stream = nullptr;
    }
    if (file->tempName[0] != 0) {
        unlink(file->tempName);
        file->tempName[0] = 0;
    }
    errno = saved;
}
