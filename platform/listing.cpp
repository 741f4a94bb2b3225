#include "platform/listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string_view>

namespace listing {

namespace {

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

timespec toTimespec(const statx_timestamp& t) {
    timespec result{};
    result.tv_sec = t.tv_sec;
    result.tv_nsec = t.tv_nsec;
    return result;
}

bool stampWorkingDirectory(DirectoryStamp& stamp) {
    struct statx info;
    if (statx(AT_FDCWD, ".", 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        return false;
    }
    stamp.device = makedev(info.stx_dev_major, info.stx_dev_minor);
    stamp.inode = info.stx_ino;
    stamp.born = (info.stx_mask & STATX_BTIME) != 0 ? toTimespec(info.stx_btime) : timespec{};
    stamp.modified = toTimespec(info.stx_mtime);
    return true;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

bool readEntries(std::vector<Entry>& entries) {
    std::unique_ptr<DIR, DirCloser> dir(opendir("."));
    if (!dir) {
        return false;
    }
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            entries.push_back(Entry{std::string(name), entry->d_type});
        }
        errno = 0;
    }
    return errno == 0;
}

std::mutex mutex;
std::shared_ptr<const Listing> lastRead;
std::vector<std::shared_ptr<const Listing>> vouched;

}  // namespace

bool DirectoryStamp::sameDirectory(const DirectoryStamp& other) const {
    return device == other.device && inode == other.inode && sameTime(born, other.born);
}

bool DirectoryStamp::sameState(const DirectoryStamp& other) const {
    return sameDirectory(other) && sameTime(modified, other.modified);
}

std::shared_ptr<const Listing> readWorkingDirectory(bool fresh) {
    timespec readAt;
    // The coarse clock is the one that stamps directory changes.
    clock_gettime(CLOCK_REALTIME_COARSE, &readAt);
    DirectoryStamp stamp;
    if (!stampWorkingDirectory(stamp)) {
        return nullptr;
    }
    {
        const std::lock_guard lock(mutex);
        if (!fresh && lastRead != nullptr && lastRead->trusted &&
            lastRead->stamp.sameState(stamp)) {
            return lastRead;
        }
    }
    auto listing = std::make_shared<Listing>();
    listing->stamp = stamp;
    if (!readEntries(listing->entries)) {
        return nullptr;
    }
    listing->trusted = before(listing->stamp.modified, readAt);
    const std::lock_guard lock(mutex);
    lastRead = listing;
    return listing;
}

void vouchFor(const std::shared_ptr<const Listing>& listing) {
    const std::lock_guard lock(mutex);
    vouched.push_back(listing);
}

void withdraw(const Listing* listing) {
    const std::lock_guard lock(mutex);
    const auto found = std::find_if(vouched.rbegin(), vouched.rend(),
                                    [listing](const auto& held) { return held.get() == listing; });
    if (found != vouched.rend()) {
        vouched.erase(std::next(found).base());
    }
}

void withdrawAll() {
    const std::lock_guard lock(mutex);
    vouched.clear();
}

std::shared_ptr<const Listing> vouchedListing() {
    const std::lock_guard lock(mutex);
    return vouched.empty() ? nullptr : vouched.back();
}

}  // namespace listing
