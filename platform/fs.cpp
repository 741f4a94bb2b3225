#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/listing.h"
#include "platform/text.h"

namespace {

// Windows keeps the last error per thread; so do we.
thread_local unsigned lastError = 0;

// Records error as the last error and in errno; returns 0, the failure value
// of the calls that report through GetLastError.
unsigned recordError(int error) {
    lastError = static_cast<unsigned>(error);
    errno = error;
    return 0;
}

// Case-insensitive order (ASCII only, so that any byte sequence orders the
// same way in every locale) with byte order as the tie-break, so that "a.mp3"
// and "A.mp3" in one folder always come out the same way round.
bool listedBefore(const std::string* a, const std::string* b) {
    const int folded = compareIgnoringAsciiCase(*a, *b);
    return folded != 0 ? folded < 0 : *a < *b;
}

// The extension of a "*.ext" pattern, dot included; empty when the pattern has
// another form. The extension itself may hold no wildcard and no slash.
std::string patternSuffix(const char* pattern) {
    const std::string_view text(pattern);
    if (text.size() < 3 || text[0] != '*' || text[1] != '.') {
        return {};
    }
    const std::string_view extension = text.substr(2);
    if (extension.find_first_of("*?/") != std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(1));
}

bool hasSuffixIgnoringCase(std::string_view name, std::string_view suffix) {
    return name.size() >= suffix.size() &&
           compareIgnoringAsciiCase(name.substr(name.size() - suffix.size()), suffix) == 0;
}

// d_type answers for most file systems without a stat; links (and entries of
// file systems that do not fill d_type) are followed with a stat.
bool isRegularFile(const listing::Entry& entry) {
    if (entry.type == DT_REG) {
        return true;
    }
    if (entry.type != DT_LNK && entry.type != DT_UNKNOWN) {
        return false;
    }
    struct stat target;
    return fstatat(AT_FDCWD, entry.name.c_str(), &target, 0) == 0 && S_ISREG(target.st_mode);
}

void collectMatches(const listing::Listing& folder, const std::string& suffix,
                    std::vector<const std::string*>& names) {
    for (const listing::Entry& entry : folder.entries) {
        const std::string_view name(entry.name);
        if (name.empty() || name[0] == '.' || !hasSuffixIgnoringCase(name, suffix)) {
            continue;
        }
        if (isRegularFile(entry)) {
            names.push_back(&entry.name);
        }
    }
}

// The first name is found without sorting the rest, which waits for the
// first _findnext: a search that only asks whether anything matches (the
// player's start-up does, on a folder of up to 5000 songs) sorts nothing.
struct Search {
    // Vouched for while the search is open; holds the names it hands out.
    std::shared_ptr<const listing::Listing> folder;
    std::vector<const std::string*> names;
    std::size_t next = 0;
    bool restSorted = false;
};

// Open searches by handle. Handles count up from 1 and are never reused, so a
// stale handle cannot reach a newer search.
std::mutex searchesMutex;
std::map<intptr_t, std::unique_ptr<Search>> searches;
intptr_t lastHandle = 0;

void copyName(const std::string* name, _finddata_t* data) {
    copyCut(*name, data->name, sizeof data->name);
}

}  // namespace

intptr_t _findfirst(const char* pattern, _finddata_t* data) {
    if (pattern == nullptr || data == nullptr) {
        errno = EINVAL;
        return -1;
    }
    const std::string suffix = patternSuffix(pattern);
    if (suffix.empty()) {
        errno = EINVAL;
        return -1;
    }
    auto search = std::make_unique<Search>();
    // Read afresh, never taken from an earlier search: a directory's time
    // cannot tell that it changed where it is kept in steps of two seconds
    // (FAT) or set by another machine's clock (network mounts).
    search->folder = listing::readWorkingDirectory(true);
    if (search->folder == nullptr) {
        return -1;
    }
    collectMatches(*search->folder, suffix, search->names);
    if (search->names.empty()) {
        errno = ENOENT;
        return -1;
    }
    auto& names = search->names;
    std::iter_swap(names.begin(), std::min_element(names.begin(), names.end(), listedBefore));
    copyName(names[0], data);
    search->next = 1;

    listing::vouchFor(search->folder);
    const std::lock_guard lock(searchesMutex);
    const intptr_t handle = ++lastHandle;
    searches.emplace(handle, std::move(search));
    return handle;
}

int _findnext(intptr_t handle, _finddata_t* data) {
    const std::lock_guard lock(searchesMutex);
    const auto found = searches.find(handle);
    if (found == searches.end() || data == nullptr) {
        errno = EINVAL;
        return -1;
    }
    Search& search = *found->second;
    if (!search.restSorted) {
        std::sort(search.names.begin() + 1, search.names.end(), listedBefore);
        search.restSorted = true;
    }
    if (search.next >= search.names.size()) {
        errno = ENOENT;
        return -1;
    }
    copyName(search.names[search.next++], data);
    return 0;
}

int _findclose(intptr_t handle) {
    const std::lock_guard lock(searchesMutex);
    const auto found = searches.find(handle);
    if (found == searches.end()) {
        errno = EINVAL;
        return -1;
    }
    listing::withdraw(found->second->folder.get());
    searches.erase(found);
    return 0;
}

int _chdir(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    // chdir("") already fails with ENOENT on Linux; the check keeps that
    // promise independent of the C library.
    if (path[0] == '\0') {
        errno = ENOENT;
        return -1;
    }
    // Open searches vouch for the directory they read, which this leaves.
    listing::withdrawAll();
    return chdir(path);
}

unsigned GetCurrentDirectory(unsigned size, char* buffer) {
    const std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    if (!cwd) {
        return recordError(errno);
    }
    const std::size_t length = std::strlen(cwd.get());
    if (length >= size || buffer == nullptr) {
        if (buffer != nullptr && size > 0) {
            buffer[0] = '\0';
        }
        return static_cast<unsigned>(length + 1);
    }
    std::memcpy(buffer, cwd.get(), length + 1);
    return static_cast<unsigned>(length);
}

int GetUserName(char* buffer, unsigned* size) {
    if (buffer == nullptr || size == nullptr) {
        recordError(EINVAL);
        return 0;
    }
    // getpwuid_r is getpwuid without the shared static record; its scratch
    // buffer grows until the record fits.
    std::vector<char> scratch(1024);
    passwd record;
    passwd* result = nullptr;
    int error;
    while ((error = getpwuid_r(geteuid(), &record, scratch.data(), scratch.size(), &result)) ==
               ERANGE &&
           scratch.size() < (1u << 20)) {
        scratch.resize(scratch.size() * 2);
    }
    if (result == nullptr) {
        // No error number with no record means the user id has no entry.
        recordError(error != 0 ? error : ENOENT);
        return 0;
    }
    const std::size_t needed = std::strlen(record.pw_name) + 1;
    if (needed > *size) {
        *size = static_cast<unsigned>(needed);
        recordError(ERANGE);
        return 0;
    }
    std::memcpy(buffer, record.pw_name, needed);
    *size = static_cast<unsigned>(needed);
    return 1;
}

unsigned GetLastError() {
    return lastError;
}

namespace {

// Whether name is a regular file; false with errno set (EINVAL for a file of
// another kind) otherwise.
bool namesRegularFile(const char* name) {
    struct stat info;
    if (name == nullptr) {
        errno = ENOENT;
        return false;
    }
    if (stat(name, &info) != 0) {
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return false;
    }
    return true;
}

}  // namespace

std::FILE* fopenRegularFile(const char* name) {
    if (!namesRegularFile(name)) {
        return nullptr;
    }
    // Non-blocking, and checked again once open, in case a FIFO took the
    // name's place since the look above.
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info;
    int error = 0;
    if (fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error = EINVAL;
    }
    if (error != 0) {
        close(fd);
        errno = error;
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        error = errno;
        close(fd);
        errno = error;
    }
    return file;
}

int removeRegularFile(const char* name) {
    if (!namesRegularFile(name)) {
        return -1;
    }
    // unlink, unlike remove, never takes a folder away.
    return unlink(name);
}
