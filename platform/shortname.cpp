#include "platform/shortname.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

constexpr std::size_t kMaxShortName = 79;

// A name is handed on as it is only when every byte is printable ASCII other
// than the quotes: blanks and control bytes split or end a command, quotes
// open and close names in it, and bytes above 0x7F are left out because a
// parser that looks at them through a single-byte locale may take some of
// them (0xA0, 0x85) for blanks.
bool isPlainByte(unsigned char c) {
    return c > ' ' && c < 0x7F && c != '"' && c != '\'';
}

bool needsAlias(std::string_view name) {
    if (name.empty() || name.size() > kMaxShortName) {
        return true;
    }
    return !std::all_of(name.begin(), name.end(),
                        [](char c) { return isPlainByte(static_cast<unsigned char>(c)); });
}

bool isAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char asciiUpper(unsigned char c) {
    return static_cast<char>((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c);
}

// FNV-1a: fixed for all time, so an alias made today is the alias tomorrow.
std::uint32_t nameHash(std::string_view name) {
    std::uint32_t hash = 2166136261u;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

// The alias without its number: two name characters, four hex digits of the
// name's hash and the extension, e.g. {"CA3F1B", "MP3"}. The base always has
// six characters, so the "~n" after it can never run into another base.
struct AliasKey {
    std::string base;
    std::string extension;
    bool operator==(const AliasKey&) const = default;
};

struct AliasKeyHash {
    std::size_t operator()(const AliasKey& key) const {
        return std::hash<std::string>()(key.base) ^ (std::hash<std::string>()(key.extension) << 1);
    }
};

AliasKey aliasKeyOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string_view::npos && dot > 0;
    const std::string_view stem = hasExtension ? name.substr(0, dot) : name;

    AliasKey key;
    for (const char c : stem) {
        if (key.base.size() == 2) {
            break;
        }
        if (isAsciiAlnum(static_cast<unsigned char>(c))) {
            key.base += asciiUpper(static_cast<unsigned char>(c));
        }
    }
    key.base.resize(2, '_');
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(nameHash(name) & 0xFFFFu));
    key.base += digits;

    if (hasExtension) {
        for (const char c : name.substr(dot + 1)) {
            if (key.extension.size() == 3) {
                break;
            }
            if (isAsciiAlnum(static_cast<unsigned char>(c))) {
                key.extension += asciiUpper(static_cast<unsigned char>(c));
            }
        }
    }
    return key;
}

std::string formatAlias(const AliasKey& key, unsigned number) {
    std::string alias = key.base + "~" + std::to_string(number);
    if (!key.extension.empty()) {
        alias += "." + key.extension;
    }
    return alias;
}

// Identifies a directory and its state: a name is added, removed or renamed
// only with a new modification time. The birth time, where the file system
// keeps one, tells a new directory from a removed one whose inode it reuses.
struct DirectoryStamp {
    dev_t device = 0;
    ino_t inode = 0;
    timespec born{};
    timespec modified{};

    bool sameDirectory(const DirectoryStamp& other) const {
        return device == other.device && inode == other.inode && born.tv_sec == other.born.tv_sec &&
               born.tv_nsec == other.born.tv_nsec;
    }
    bool sameState(const DirectoryStamp& other) const {
        return sameDirectory(other) && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

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

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The names of one directory and the alias of every name that needs one.
struct AliasTable {
    DirectoryStamp stamp;
    // False when the directory changed in the clock tick in which it was
    // read: a second change in that tick would leave the same stamp, so the
    // table serves the call that built it and no other.
    bool trusted = false;
    // Every entry's name, mapped to its alias (empty when it needs none).
    std::unordered_map<std::string, std::string> aliasOfName;
    // The alias of every entry that has one, mapped to that entry's name.
    std::unordered_map<std::string, std::string> nameOfAlias;
};

// Every alias given in one directory during this run, kept for the rest of
// it: a name keeps its alias whatever is added or removed beside it, and an
// alias is never given to another name, even after its file is gone.
struct AliasHistory {
    timespec born{};
    std::unordered_map<std::string, std::string> aliasOfName;
    std::unordered_set<std::string> aliases;
};

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

bool readNames(std::vector<std::string>& names) {
    std::unique_ptr<DIR, DirCloser> dir(opendir("."));
    if (!dir) {
        return false;
    }
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
        errno = 0;
    }
    return errno == 0;
}

// A name gets an alias when the command parser could split it, or when it
// is an alias already given to another entry that is still there.
bool needsAliasIn(const std::string& name, const AliasTable& table) {
    if (needsAlias(name)) {
        return true;
    }
    const auto owner = table.nameOfAlias.find(name);
    return owner != table.nameOfAlias.end() && owner->second != name;
}

// Names given an alias earlier in the run keep it. The others that need one
// are numbered ~1, ~2, ... per alias key in byte order of the names, passing
// over every number whose alias was given before or is the name of a real
// entry, so that an alias never hides a file.
void numberAliases(AliasTable& table, AliasHistory& history, std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const auto given = history.aliasOfName.find(name);
        if (given != history.aliasOfName.end()) {
            table.aliasOfName[name] = given->second;
            table.nameOfAlias.emplace(given->second, name);
        }
    }
    std::unordered_map<AliasKey, unsigned, AliasKeyHash> lastNumber;
    for (const std::string& name : names) {
        if (!table.aliasOfName[name].empty() || !needsAliasIn(name, table)) {
            continue;
        }
        const AliasKey key = aliasKeyOf(name);
        unsigned& number = lastNumber[key];
        std::string alias;
        do {
            alias = formatAlias(key, ++number);
        } while (table.aliasOfName.count(alias) != 0 || history.aliases.count(alias) != 0);
        history.aliasOfName.emplace(name, alias);
        history.aliases.insert(alias);
        table.nameOfAlias.emplace(alias, name);
        table.aliasOfName[name] = std::move(alias);
    }
}

bool buildTable(AliasTable& table, AliasHistory& history) {
    timespec readAt;
    // The coarse clock is the one that stamps directory changes.
    clock_gettime(CLOCK_REALTIME_COARSE, &readAt);
    if (!stampWorkingDirectory(table.stamp)) {
        return false;
    }
    std::vector<std::string> names;
    if (!readNames(names)) {
        return false;
    }
    table.trusted = before(table.stamp.modified, readAt);
    table.aliasOfName.reserve(names.size());
    for (const std::string& name : names) {
        table.aliasOfName.emplace(name, std::string());
    }
    numberAliases(table, history, std::move(names));
    return true;
}

// Tables of the directories used lately. The player works in one music
// folder at a time, so a handful is plenty; when more pile up they are
// simply all dropped.
constexpr std::size_t kMaxTables = 8;

class AliasCache {
  public:
    // The table of the working directory, rebuilt when the directory changed
    // or when forceRebuild asks for it; *rebuilt tells whether it was. Null
    // (errno set) when the directory cannot be read.
    const AliasTable* current(bool forceRebuild, bool* rebuilt) {
        *rebuilt = true;
        DirectoryStamp now;
        if (!stampWorkingDirectory(now)) {
            return nullptr;
        }
        for (auto& table : tables_) {
            if (table->stamp.sameDirectory(now)) {
                if (!forceRebuild && table->trusted && table->stamp.sameState(now)) {
                    *rebuilt = false;
                    return table.get();
                }
                return rebuild(table, now) ? table.get() : nullptr;
            }
        }
        std::unique_ptr<AliasTable> table;
        if (!rebuild(table, now)) {
            return nullptr;
        }
        if (tables_.size() >= kMaxTables) {
            tables_.clear();
        }
        tables_.push_back(std::move(table));
        return tables_.back().get();
    }

  private:
    // The aliases given in the directory now stamped; a new directory that
    // took the inode of a removed one starts with none.
    AliasHistory& historyOf(const DirectoryStamp& stamp) {
        AliasHistory& history = histories_[{stamp.device, stamp.inode}];
        if (history.born.tv_sec != stamp.born.tv_sec ||
            history.born.tv_nsec != stamp.born.tv_nsec) {
            history = AliasHistory{};
            history.born = stamp.born;
        }
        return history;
    }

    bool rebuild(std::unique_ptr<AliasTable>& table, const DirectoryStamp& stamp) {
        auto fresh = std::make_unique<AliasTable>();
        if (!buildTable(*fresh, historyOf(stamp))) {
            return false;
        }
        table = std::move(fresh);
        return true;
    }

    std::vector<std::unique_ptr<AliasTable>> tables_;
    // Kept for the whole run, also when the tables are dropped.
    std::map<std::pair<dev_t, ino_t>, AliasHistory> histories_;
};

std::mutex cacheMutex;
AliasCache cache;

// A table that was fresh when the call began may miss a name added since;
// a miss is therefore checked once more against a table read just now.
template <typename Lookup>
bool lookUpWithRetry(Lookup lookup) {
    bool rebuilt = false;
    const AliasTable* table = cache.current(false, &rebuilt);
    if (table == nullptr || lookup(*table)) {
        return table != nullptr;
    }
    if (rebuilt) {
        return false;
    }
    table = cache.current(true, &rebuilt);
    return table != nullptr && lookup(*table);
}

bool copyBounded(std::string_view text, char* out, std::size_t size) {
    if (out == nullptr || text.size() >= size) {
        return false;
    }
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return true;
}

bool entryExists(const char* name) {
    struct stat info;
    return fstatat(AT_FDCWD, name, &info, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

unsigned GetShortPathName(const char* longName, char* shortName, unsigned size) {
    if (longName == nullptr || longName[0] == '\0') {
        errno = EINVAL;
        return 0;
    }
    const std::string_view name(longName);
    std::string shortForm;
    if (name.find('/') != std::string_view::npos) {
        // Only names in the working directory get aliases; a path is handed
        // on when it is plain and names something.
        if (needsAlias(name) || !entryExists(longName)) {
            errno = needsAlias(name) ? EINVAL : ENOENT;
            return 0;
        }
        shortForm = name;
    } else {
        const std::lock_guard lock(cacheMutex);
        const bool found = lookUpWithRetry([&](const AliasTable& table) {
            const auto entry = table.aliasOfName.find(std::string(name));
            if (entry == table.aliasOfName.end()) {
                return false;
            }
            shortForm = entry->second.empty() ? std::string(name) : entry->second;
            return true;
        });
        if (!found) {
            errno = ENOENT;
            return 0;
        }
    }
    if (shortName == nullptr || shortForm.size() >= size) {
        return static_cast<unsigned>(shortForm.size() + 1);
    }
    copyBounded(shortForm, shortName, size);
    return static_cast<unsigned>(shortForm.size());
}

bool ResolveShortName(const char* name, char* out, std::size_t size) {
    if (name == nullptr || name[0] == '\0') {
        errno = EINVAL;
        return false;
    }
    std::string resolved;
    if (std::strchr(name, '/') != nullptr) {
        if (!entryExists(name)) {
            errno = ENOENT;
            return false;
        }
        resolved = name;
    } else {
        const std::lock_guard lock(cacheMutex);
        const auto aliasOf = [&](const AliasTable& table) {
            const auto entry = table.nameOfAlias.find(name);
            if (entry == table.nameOfAlias.end()) {
                return false;
            }
            resolved = entry->second;
            return true;
        };
        // An alias given earlier is in every table built since, so a name
        // that is a real entry needs no second look: it is that entry,
        // unless it is an alias given before that entry was made.
        if (entryExists(name)) {
            bool rebuilt = false;
            const AliasTable* table = cache.current(false, &rebuilt);
            if (table == nullptr || !aliasOf(*table)) {
                resolved = name;
            }
        } else if (!lookUpWithRetry(aliasOf)) {
            errno = ENOENT;
            return false;
        }
    }
    if (!copyBounded(resolved, out, size)) {
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}
