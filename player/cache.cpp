#include "player/cache.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fs.h"
#include "platform/replacefile.h"
#include "player/ending.h"
#include "player/lengths.h"
#include "player/pages.h"
#include "player/state.h"
#include "tcconio/tcconio.h"

namespace {

constexpr const char* kLengthFile = "length.txt";
constexpr const char* kNumberFile = "number.txt";
constexpr const char* kNamesFile = "names.txt";

constexpr int kLengthBytes = 4;     // one song's length in number.txt
constexpr int kNamesPerRecord = 8;  // fields of one names.txt record
constexpr int kRecordBytes = kNamesPerRecord * kCellSize;

// What the files hold, assembled or taken apart here. names.txt is read 64
// records at a time: it is 5 MB for a full catalogue.
constexpr int kRecordsPerRead = 64;
// The unit's own record: buffers that hold nothing from one call to the
// next, kept here as they are too large for the stack. One byte more than
// the most a sound number.txt holds tells one that is longer.
struct CacheBuffers {
    unsigned char lengthBytes[kMaxSongs * kLengthBytes + 1];
    Cell records[kRecordsPerRead][kNamesPerRecord];
};
CacheBuffers buffers;
static_assert(sizeof buffers.records[0] == kRecordBytes);

// ---- Reading: each reader is false when its file is missing or damaged ----

// Reads the next decimal number of text, after any white space. False when
// there is none or it does not fit an int.
bool nextNumber(const char** text, int* value) {
    errno = 0;
    char* end = nullptr;
    long number = std::strtol(*text, &end, 10);
    if (end == *text || errno == ERANGE || number < INT_MIN || number > INT_MAX) {
        return false;
    }
    *text = end;
    *value = static_cast<int>(number);
    return true;
}

// Reads up to size bytes of the regular file name into buffer. The count
// read, or -1 when there is no such file.
long readUpTo(const char* name, void* buffer, std::size_t size) {
    FILE* file = fopenRegularFile(name);
    if (file == nullptr) {
        return -1;
    }
    const std::size_t got = std::fread(buffer, 1, size, file);
    std::fclose(file);
    return static_cast<long>(got);
}

// length.txt: "h2 m2 s2 mm_time getlen". The count and the total are used:
// the lengths must add up to the total, and the total is summed again.
bool readLengthFile(int* recordedTotal) {
    char text[256];
    const long got = readUpTo(kLengthFile, text, sizeof text - 1);
    if (got < 0) {
        return false;
    }
    text[got] = 0;
    const char* at = text;
    int field[5];
    for (int& value : field) {
        if (!nextNumber(&at, &value)) {
            return false;
        }
    }
    S.mm_time = field[3];
    *recordedTotal = field[4];
    return field[3] >= 0 && field[3] <= kMaxSongs && field[4] >= 0;
}

int fromLittleEndian(const unsigned char* bytes) {
    unsigned value =
        bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<unsigned>(bytes[3]) << 24;
    return static_cast<int>(value);
}

void toLittleEndian(int value, unsigned char* bytes) {
    unsigned bits = static_cast<unsigned>(value);
    for (int b = 0; b < kLengthBytes; ++b) {
        bytes[b] = static_cast<unsigned char>(bits >> (8 * b));
    }
}

// number.txt: one 4-byte little-endian length for each recorded song, and
// nothing more. Lengths that do not add up to the recorded total, or whose sum
// no total can carry, are damage.
bool readNumberFile(int recordedTotal) {
    const std::size_t wanted = static_cast<std::size_t>(S.mm_time) * kLengthBytes;
    if (readUpTo(kNumberFile, buffers.lengthBytes, wanted + 1) != static_cast<long>(wanted)) {
        return false;
    }
    long long sum = 0;
    for (int j = 0; j < S.mm_time; ++j) {
        S.number[j] = fromLittleEndian(buffers.lengthBytes + j * kLengthBytes);
        if (S.number[j] < 0) {
            return false;
        }
        sum += S.number[j];
    }
    return sum == recordedTotal;
}

bool everyFieldTerminated(const Cell* fields) {
    for (int field = 0; field < kNamesPerRecord; ++field) {
        if (std::memchr(fields[field], 0, kCellSize) == nullptr) {
            return false;
        }
    }
    return true;
}

// names.txt: one 1024-byte record for each recorded song, and nothing more;
// its first field is the song's display name, which is never empty.
bool readNamesFile() {
    FILE* file = fopenRegularFile(kNamesFile);
    if (file == nullptr) {
        return false;
    }
    bool sound = true;
    for (int first = 0; first < S.mm_time && sound; first += kRecordsPerRead) {
        const std::size_t wanted = std::min(kRecordsPerRead, S.mm_time - first);
        sound = std::fread(buffers.records, kRecordBytes, wanted, file) == wanted;
        for (std::size_t r = 0; r < wanted && sound; ++r) {
            sound = everyFieldTerminated(buffers.records[r]) && buffers.records[r][0][0] != 0;
            Cell& name = S.CompareNames[first + r];
            copyCell(name, buffers.records[r][0]);
            // Written by another program, a name may hold anything; shown or
            // compared, it is what a display name of ours would be.
            makePrintable(name);
        }
    }
    sound = sound && std::fgetc(file) == EOF;
    std::fclose(file);
    return sound;
}

void forgetRecordedSongs() {
    std::memset(S.number, 0, sizeof S.number);
    std::memset(S.CompareNames, 0, sizeof S.CompareNames);
    S.mm_time = 0;
}

// ---- Writing ----

// Ends the program, leaving no temporary file behind.
[[noreturn]] void endForFile(const char* what, const char* name, ReplacementFile* files,
                             int count) {
    const int saved = errno;
    for (int f = 0; f < count; ++f) {
        discardReplacement(&files[f]);
    }
    char text[64];
    std::snprintf(text, sizeof text, "cannot %s %s: ", what, name);
    // mayReplace tells a FIFO or a device by EINVAL, whose text says nothing.
    endWithMessage(text, saved == EINVAL ? "Not a regular file" : std::strerror(saved));
}

bool writeLengthFile(FILE* out) {
    return std::fprintf(out, "%d %d %d %d %d", S.h2, S.m2, S.s2, S.mm_time,
                        static_cast<int>(S.getlen)) > 0;
}

bool writeNumberFile(FILE* out) {
    for (int k = 0; k < S.TotalSong; ++k) {
        toLittleEndian(S.number[k], buffers.lengthBytes + k * kLengthBytes);
    }
    const std::size_t size = static_cast<std::size_t>(S.TotalSong) * kLengthBytes;
    return std::fwrite(buffers.lengthBytes, 1, size, out) == size;
}

// Record j holds the names of songs j to j + 7, zero fields past the last.
bool writeNamesFile(FILE* out) {
    Cell(&record)[kNamesPerRecord] = buffers.records[0];
    for (int j = 0; j < S.TotalSong; ++j) {
        std::memset(record, 0, sizeof record);
        for (int field = 0; field < kNamesPerRecord && j + field < S.TotalSong; ++field) {
            copyCell(record[field], displayNameOf(j + field));
        }
        if (std::fwrite(record, 1, sizeof record, out) != sizeof record) {
            return false;
        }
    }
    return true;
}

struct CacheFile {
    const char* name;
    bool (*write)(FILE* out);
};

}  // namespace

void readCacheFiles() {
    _chdir(S.old_path);
    int recordedTotal = 0;
    if (!readLengthFile(&recordedTotal) || !readNumberFile(recordedTotal) || !readNamesFile()) {
        forgetRecordedSongs();
        GetTotalTimeAllSong();
        return;
    }
    GetTimeAddSong();
    GetTimeDelSong();
}

void write_data() {
    _chdir(S.old_path);
    S.mm_time = S.TotalSong;
    // length.txt last: it is the mark that the other two are whole.
    const CacheFile files[] = {
        {kNumberFile, writeNumberFile},
        {kNamesFile, writeNamesFile},
        {kLengthFile, writeLengthFile},
    };
    constexpr int kFiles = sizeof files / sizeof files[0];
    ReplacementFile written[kFiles];
    for (int f = 0; f < kFiles; ++f) {
        if (!createReplacement(files[f].name, &written[f])) {
            endForFile("create", files[f].name, written, f);
        }
        if (!files[f].write(written[f].stream) || !finishReplacement(&written[f])) {
            endForFile("write", files[f].name, written, f + 1);
        }
    }
    // Nothing old goes before every new file is written and every old name
    // is known to take its replacement: a failed quit leaves the previous
    // files whole. What is not a file of ours is never removed.
    for (int f = 0; f < kFiles; ++f) {
        if (!mayReplace(files[f].name)) {
            endForFile("replace", files[f].name, written, kFiles);
        }
    }
    clrscr();
    if (removeReplaceable(kLengthFile) != 0) {
        endForFile("replace", kLengthFile, written, kFiles);
    }
    for (int f = 0; f < kFiles; ++f) {
        if (!installReplacement(&written[f], files[f].name)) {
            endForFile("replace", files[f].name, written, kFiles);
        }
    }
}
