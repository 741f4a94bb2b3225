#include "platform/mci/replaygain.h"

#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

#include "platform/mci/apetag.h"
#include "platform/text.h"

namespace mci {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return compareIgnoringAsciiCase(a, b) == 0;
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A decimal number with an optional sign and a point or a comma, nothing
// more: no exponent, no "inf", whatever the locale.
std::optional<float> parseDecimal(std::string_view text) {
    char digits[32];
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() >= sizeof digits) {
        return std::nullopt;
    }
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == ',' || (c == '-' && k == 0);
        if (!allowed) {
            return std::nullopt;
        }
        digits[k] = c == ',' ? '.' : c;
    }
    float value = 0;
    const char* end = digits + text.size();
    const auto [stop, error] = std::from_chars(digits, end, value, std::chars_format::fixed);
    if (error != std::errc{} || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

void takeGain(std::optional<float>* field, std::optional<float> db) {
    if (!field->has_value() && db.has_value()) {
        *field = db;
    }
}

}  // namespace

GainField gainFieldNamed(std::string_view name) {
    if (sameIgnoringCase(name, "replaygain_track_gain")) {
        return GainField::kTrackGain;
    }
    if (sameIgnoringCase(name, "replaygain_track_peak")) {
        return GainField::kTrackPeak;
    }
    if (sameIgnoringCase(name, "replaygain_album_gain")) {
        return GainField::kAlbumGain;
    }
    if (sameIgnoringCase(name, "replaygain_album_peak")) {
        return GainField::kAlbumPeak;
    }
    return GainField::kNone;
}

std::optional<float> parseGainText(std::string_view text) {
    text = trimmed(text);
    if (text.size() >= 2 && sameIgnoringCase(text.substr(text.size() - 2), "dB")) {
        text = trimmed(text.substr(0, text.size() - 2));
    }
    const std::optional<float> db = parseDecimal(text);
    if (!db.has_value() || std::fabs(*db) > kMaxGainDb) {
        return std::nullopt;
    }
    return db;
}

std::optional<float> parsePeakText(std::string_view text) {
    const std::optional<float> peak = parseDecimal(trimmed(text));
    if (!peak.has_value() || *peak <= 0 || *peak > kMaxPeak) {
        return std::nullopt;
    }
    return peak;
}

void takeGainItem(GainTags* tags, GainField field, std::string_view text) {
    switch (field) {
        case GainField::kTrackGain:
            return takeGain(&tags->trackDb, parseGainText(text));
        case GainField::kTrackPeak:
            return takeGain(&tags->trackPeak, parsePeakText(text));
        case GainField::kAlbumGain:
            return takeGain(&tags->albumDb, parseGainText(text));
        case GainField::kAlbumPeak:
            return takeGain(&tags->albumPeak, parsePeakText(text));
        case GainField::kNone:
            break;
    }
}

namespace {

// The file as libmpg123 and the APE reader see it: read with pread at an
// offset of their own.
struct PositionedFile {
    int fd = -1;
    off_t size = 0;
    off_t position = 0;
};

bool readAt(void* file, std::uint64_t offset, unsigned char* out, std::size_t size) {
    const int fd = static_cast<PositionedFile*>(file)->fd;
    while (size > 0) {
        const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        out += got;
        offset += static_cast<std::uint64_t>(got);
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

mpg123_ssize_t readForLibrary(void* handle, void* out, std::size_t size) {
    auto* file = static_cast<PositionedFile*>(handle);
    ssize_t got;
    do {
        got = ::pread(file->fd, out, size, file->position);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        file->position += got;
    }
    return got;
}

off_t seekForLibrary(void* handle, off_t offset, int whence) {
    auto* file = static_cast<PositionedFile*>(handle);
    const off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? file->position : file->size;
    if (offset < -base) {
        return -1;
    }
    file->position = base + offset;
    return file->position;
}

// Owns a libmpg123 handle.
struct Handle {
    mpg123_handle* handle = nullptr;
    ~Handle() {
        if (handle != nullptr) {
            mpg123_close(handle);
            mpg123_delete(handle);
        }
    }
};

// A gain that libmpg123 took for mode, in dB: 0 when it has none, for it
// tells no absent gain from one of 0 dB (nor a LAME tag without a gain,
// which it reads as 0 dB), and either leaves the samples as they are.
std::optional<float> libraryGain(mpg123_handle* handle, long mode) {
    double base = 0;
    double really = 0;
    double db = 0;
    if (mpg123_param(handle, MPG123_RVA, mode, 0) != MPG123_OK ||
        mpg123_getvolume(handle, &base, &really, &db) != MPG123_OK || db == 0 ||
        !std::isfinite(db) || std::fabs(db) > kMaxGainDb) {
        return std::nullopt;
    }
    return static_cast<float>(db);
}

// The TXXX frames (libmpg123 hands them over as UTF-8), then RVA2 or the
// LAME tag. A gain of a TXXX frame that is there but cannot be read is not
// taken from elsewhere in the ID3v2 tag: libmpg123's own value for it could
// be that frame's text read as far as it looks like a number.
void readThroughLibrary(PositionedFile* file, GainTags* fromFrames, GainTags* fromLibrary) {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    Handle owner;
    owner.handle = mpg123_new(nullptr, nullptr);
    mpg123_handle* handle = owner.handle;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (handle == nullptr || mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0) != MPG123_OK ||
        mpg123_replace_reader_handle(handle, readForLibrary, seekForLibrary, nullptr) !=
            MPG123_OK ||
        mpg123_open_handle(handle, file) != MPG123_OK ||
        mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK) {
        return;
    }
    bool trackFrame = false;
    bool albumFrame = false;
    mpg123_id3v1* v1 = nullptr;
    mpg123_id3v2* v2 = nullptr;
    if (mpg123_id3(handle, &v1, &v2) == MPG123_OK && v2 != nullptr) {
        for (std::size_t k = 0; k < v2->extras; ++k) {
            const mpg123_text& frame = v2->extra[k];
            if (frame.description.p == nullptr || frame.text.p == nullptr) {
                continue;
            }
            const GainField field = gainFieldNamed(
                {frame.description.p, strnlen(frame.description.p, frame.description.fill)});
            trackFrame = trackFrame || field == GainField::kTrackGain;
            albumFrame = albumFrame || field == GainField::kAlbumGain;
            takeGainItem(fromFrames, field, {frame.text.p, strnlen(frame.text.p, frame.text.fill)});
        }
    }
    const std::optional<float> track = libraryGain(handle, MPG123_RVA_MIX);
    const std::optional<float> album = libraryGain(handle, MPG123_RVA_ALBUM);
    if (!trackFrame) {
        fromLibrary->trackDb = track;
    }
    // Without an album gain of its own, libmpg123 answers the track's.
    if (!albumFrame && album != track) {
        fromLibrary->albumDb = album;
    }
}

}  // namespace

GainTags readGainTags(int fd) {
    struct stat facts {};
    if (fstat(fd, &facts) != 0) {
        return {};
    }
    PositionedFile file{fd, facts.st_size, 0};
    GainTags tags;
    GainTags fromLibrary;
    readThroughLibrary(&file, &tags, &fromLibrary);
    readApeGains(static_cast<std::uint64_t>(facts.st_size), readAt, &file, &tags);
    takeGain(&tags.trackDb, fromLibrary.trackDb);
    takeGain(&tags.albumDb, fromLibrary.albumDb);
    return tags;
}

std::optional<GainKind> gainKindNamed(std::string_view word) {
    if (sameIgnoringCase(word, "off")) {
        return GainKind::kOff;
    }
    if (sameIgnoringCase(word, "track")) {
        return GainKind::kTrack;
    }
    if (sameIgnoringCase(word, "album")) {
        return GainKind::kAlbum;
    }
    return std::nullopt;
}

AppliedGain applyGain(const GainTags& tags, GainKind kind, float volumeGain) {
    AppliedGain applied;
    const bool album = kind == GainKind::kAlbum && tags.albumDb.has_value();
    const std::optional<float> db = album ? tags.albumDb : tags.trackDb;
    if (kind == GainKind::kOff || !db.has_value()) {
        return applied;
    }
    const std::optional<float> peak =
        album                        ? tags.albumPeak.has_value() ? tags.albumPeak : tags.trackPeak
        : tags.trackPeak.has_value() ? tags.trackPeak
                                     : tags.albumPeak;
    const float wanted = std::pow(10.0f, *db / 20.0f);
    float limit = 1.0f;  // without a peak: not above 0 dB
    if (peak.has_value()) {
        const float loudest = *peak * volumeGain;
        limit = loudest > 0 ? 1.0f / loudest : std::numeric_limits<float>::infinity();
    }
    applied.tagged = true;
    applied.factor = std::min(wanted, limit);
    applied.capped = applied.factor < wanted;
    return applied;
}

std::string describeGain(const AppliedGain& gain) {
    if (!gain.tagged) {
        return "no gain";
    }
    char text[32];
    const double db = 20.0 * std::log10(static_cast<double>(gain.factor));
    // A gain that rounds to nothing reads "+0.0", never "-0.0".
    std::snprintf(text, sizeof text, "%+.1f dB%s", std::fabs(db) < 0.05 ? 0.0 : db,
                  gain.capped ? " (peak)" : "");
    return text;
}

float SongGain::setKind(GainKind kind, int fd, float volumeGain) {
    kind_ = kind;
    if (kind != GainKind::kOff && !tags_.has_value()) {
        tags_ = readGainTags(fd);
    }
    return setVolume(volumeGain);
}

float SongGain::setVolume(float volumeGain) {
    applied_ = tags_.has_value() ? applyGain(*tags_, kind_, volumeGain) : AppliedGain{};
    return applied_.factor;
}

std::string SongGain::text() const {
    return on() ? describeGain(applied_) : "off";
}

}  // namespace mci
