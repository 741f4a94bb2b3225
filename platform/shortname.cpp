#include "platform/shortname.h"

#include <fcntl.h>
#include <sys/stat.h>
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

#include "platform/listing.h"
#include "platform/text.h"

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
        if (isAsciiAlnum(c)) {
            key.base += asciiUpper(c);
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
            if (isAsciiAlnum(c)) {
                key.extension += asciiUpper(c);
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

// The names of one directory and the alias of every name that needs one.
// FIXME: a table is kept while the directory's time is unchanged, which on
// FAT (two-second stamps) or a network mount may hide a change: a name added
// since is found by the second look of lookUpWithRetry, but a name removed
// since still gets its short form, and its open then fails.
struct AliasTable {
    listing::DirectoryStamp stamp;
    bool trusted = false;  // as the listing it was built from
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
// entry, so that an alias never hides a file. Most names need no alias, so
// only those that do are sorted.
void numberAliases(AliasTable& table, AliasHistory& history) {
    if (!history.aliasOfName.empty()) {
        for (auto& [name, alias] : table.aliasOfName) {
            const auto given = history.aliasOfName.find(name);
            if (given != history.aliasOfName.end()) {
                alias = given->second;
                table.nameOfAlias.emplace(given->second, name);
            }
        }
    }
    // Whether a name needs an alias is settled before any is given: a new
    // alias is never the name of a real entry, so it changes no answer.
    std::vector<const std::string*> waiting;
    for (const auto& [name, alias] : table.aliasOfName) {
        if (alias.empty() && needsAliasIn(name, table)) {
            waiting.push_back(&name);
        }
    }
    std::sort(waiting.begin(), waiting.end(),
              [](const std::string* a, const std::string* b) { return *a < *b; });
    std::unordered_map<AliasKey, unsigned, AliasKeyHash> lastNumber;
    for (const std::string* name : waiting) {
        const AliasKey key = aliasKeyOf(*name);
        unsigned& number = lastNumber[key];
        std::string alias;
        do {
            alias = formatAlias(key, ++number);
        } while (table.aliasOfName.count(alias) != 0 || history.aliases.count(alias) != 0);
        history.aliasOfName.emplace(*name, alias);
        history.aliases.insert(alias);
        table.nameOfAlias.emplace(alias, *name);
        table.aliasOfName[*name] = std::move(alias);
    }
}

void buildTable(AliasTable& table, AliasHistory& history, const listing::Listing& folder) {
    table.stamp = folder.stamp;
    table.trusted = folder.trusted;
    table.aliasOfName.reserve(folder.entries.size());
    for (const listing::Entry& entry : folder.entries) {
        table.aliasOfName.emplace(entry.name, std::string());
    }
    numberAliases(table, history);
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
        const auto folder = listing::readWorkingDirectory(forceRebuild);
        if (folder == nullptr) {
            return nullptr;
        }
        for (auto& table : tables_) {
            if (table->stamp.sameDirectory(folder->stamp)) {
                if (!forceRebuild && table->trusted && table->stamp.sameState(folder->stamp)) {
                    *rebuilt = false;
                    return table.get();
                }
                rebuild(table, *folder);
                return table.get();
            }
        }
        std::unique_ptr<AliasTable> table;
        rebuild(table, *folder);
        if (tables_.size() >= kMaxTables) {
            tables_.clear();
        }
        tables_.push_back(std::move(table));
        return tables_.back().get();
    }

    // The table of the listing an open directory search hands out names
    // from, when one was built from that same state; null otherwise. Asks
    // nothing of the file system: see listing::vouchFor.
    const AliasTable* vouched() const {
        const auto folder = listing::vouchedListing();
        if (folder == nullptr || !folder->trusted) {
            return nullptr;
        }
        for (const auto& table : tables_) {
            if (table->trusted && table->stamp.sameState(folder->stamp)) {
                return table.get();
            }
        }
        return nullptr;
    }

  private:
    // The aliases given in the directory now stamped; a new directory that
    // took the inode of a removed one starts with none.
    AliasHistory& historyOf(const listing::DirectoryStamp& stamp) {
        AliasHistory& history = histories_[{stamp.device, stamp.inode}];
        if (history.born.tv_sec != stamp.born.tv_sec ||
            history.born.tv_nsec != stamp.born.tv_nsec) {
            history = AliasHistory{};
            history.born = stamp.born;
        }
        return history;
    }

    void rebuild(std::unique_ptr<AliasTable>& table, const listing::Listing& folder) {
        auto fresh = std::make_unique<AliasTable>();
        buildTable(*fresh, historyOf(folder.stamp), folder);
        table = std::move(fresh);
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

// Copies text whole into out, or nothing when it does not fit.
bool copyWhole(std::string_view text, char* out, std::size_t size) {
    return out != nullptr && text.size() < size && copyCut(text, out, size) == text.size();
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
        const auto shortFormIn = [&](const AliasTable& table) {
            const auto entry = table.aliasOfName.find(std::string(name));
            if (entry == table.aliasOfName.end()) {
                return false;
            }
            shortForm = entry->second.empty() ? std::string(name) : entry->second;
            return true;
        };
        // A name from an open search is answered from what that search read;
        // any other name, from the directory as it is now.
        const AliasTable* vouched = cache.vouched();
        const bool found =
            (vouched != nullptr && shortFormIn(*vouched)) || lookUpWithRetry(shortFormIn);
        if (!found) {
            errno = ENOENT;
            return 0;
        }
    }
    if (shortName == nullptr || shortForm.size() >= size) {
        return static_cast<unsigned>(shortForm.size() + 1);
    }
    copyWhole(shortForm, shortName, size);
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
        // unless it is an alias given before that entry was made. Every
        // alias has a "~", so a real name without one is settled at once.
        if (entryExists(name)) {
            bool rebuilt = false;
            const AliasTable* table =
                std::strchr(name, '~') != nullptr ? cache.current(false, &rebuilt) : nullptr;
            if (table == nullptr || !aliasOf(*table)) {
                resolved = name;
            }
        } else if (!lookUpWithRetry(aliasOf)) {
            errno = ENOENT;
            return false;
        }
    }
    if (!copyWhole(resolved, out, size)) {
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}
