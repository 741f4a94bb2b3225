// Length of an MP3 file from its headers. The file is read through one
// buffer in growing chunks: a file with a VBR header costs one small read,
// a walk over every frame header costs one read per 64 KiB.
#include "platform/mci/mp3length.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/mci/mci.h"

namespace mci {
namespace {

using Byte = unsigned char;

// A frame this many headers long, each where the one before says, is taken
// as audio rather than as a chance match in other data.
constexpr int kFramesToLock = 4;
// Larger than any MPEG audio frame (layer II, 384 kbit/s at 32 kHz: 1729).
constexpr int kMaxFrameSize = 2048;

// Reads up to n bytes at pos, retrying short reads. Returns the count read
// (short only at the end of the file) or -1 with errno set.
long long readAt(int fd, long long pos, Byte* out, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = pread(fd, out + got, n - got, static_cast<off_t>(pos + got));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0) {
            return -1;
        }
        if (r == 0) {
            break;
        }
        got += static_cast<size_t>(r);
    }
    return static_cast<long long>(got);
}

// A window on the file. The first read is small, because a file with a VBR
// header needs no more than its first frame; later reads double up to the
// capacity, so that a walk over all frames costs a few large reads.
class ChunkReader {
  public:
    static constexpr size_t kCapacity = 64 * 1024;

    ChunkReader(int fd, long long size) : fd_(fd), size_(size), buf_(new Byte[kCapacity]) {}

    // Bytes [pos, pos + n) of the file, valid until the next call; null when
    // they lie past the end or cannot be read (see error()).
    const Byte* at(long long pos, size_t n) {
        if (pos >= start_ && pos + static_cast<long long>(n) <= start_ + len_) {
            return buf_.get() + (pos - start_);
        }
        return fill(pos, n);
    }
    long long size() const { return size_; }
    int error() const { return error_; }

  private:
    const Byte* fill(long long pos, size_t n) {
        if (error_ != 0 || pos < 0 || n > kCapacity || pos + static_cast<long long>(n) > size_) {
            return nullptr;
        }
        size_t want = n > nextRead_ ? n : nextRead_;
        if (static_cast<long long>(want) > size_ - pos) {
            want = static_cast<size_t>(size_ - pos);
        }
        long long got = readAt(fd_, pos, buf_.get(), want);
        if (got < 0) {
            error_ = errno;
            return nullptr;
        }
        start_ = pos;
        len_ = got;
        nextRead_ = nextRead_ * 2 < kCapacity ? nextRead_ * 2 : kCapacity;
        if (got < static_cast<long long>(n)) {
            size_ = pos + got;  // the file shrank while we read it
            return nullptr;
        }
        return buf_.get();
    }

    int fd_;
    long long size_;
    std::unique_ptr<Byte[]> buf_;
    long long start_ = 0;
    long long len_ = 0;
    size_t nextRead_ = 8 * 1024;
    int error_ = 0;
};

uint32_t bigEndian32(const Byte* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint32_t littleEndian32(const Byte* p) {
    return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

struct FrameHeader {
    int version = 0;  // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    int layer = 0;    // 1, 2 or 3
    long sampleRate = 0;
    int channels = 0;
    bool crc = false;  // a 16-bit check follows the header
    int size = 0;      // bytes, header included
    int samples = 0;   // per channel
    // A free-format stream (bit rate index 0) tells no frame size in its
    // headers: every frame has this size, before padding, found by the
    // distance to the next header. 0 for a stream of another kind.
    int freeSize = 0;
};

// kBitrates[MPEG-1 ? 0 : 1][layer - 1][index], kbit/s; index 0 (free format)
// and 15 are handled before the lookup.
constexpr int kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};

constexpr long kSampleRates[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

int frameSize(int version, int layer, long bitrate, long rate, int padding) {
    if (layer == 1) {
        return static_cast<int>((12 * bitrate / rate + padding) * 4);
    }
    long factor = (layer == 3 && version != 0) ? 72 : 144;
    return static_cast<int>(factor * bitrate / rate + padding);
}

// Parses the header at p. A free-format header has the size freeSize gives
// it; without one (0) it is not taken.
bool parseHeader(const Byte* p, FrameHeader* h, int freeSize = 0) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) {
        return false;
    }
    int versionBits = (p[1] >> 3) & 3;
    int layerBits = (p[1] >> 1) & 3;
    int bitrateIndex = p[2] >> 4;
    int rateIndex = (p[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || (bitrateIndex == 0 && freeSize == 0) ||
        bitrateIndex == 15 || rateIndex == 3) {
        return false;
    }
    h->version = versionBits == 3 ? 0 : (versionBits == 2 ? 1 : 2);
    h->layer = 4 - layerBits;
    h->sampleRate = kSampleRates[h->version][rateIndex];
    h->channels = (p[3] >> 6) == 3 ? 1 : 2;
    h->crc = (p[1] & 1) == 0;
    const int padding = (p[2] >> 1) & 1;
    h->freeSize = bitrateIndex == 0 ? freeSize : 0;
    if (bitrateIndex == 0) {
        h->size = freeSize + padding * (h->layer == 1 ? 4 : 1);
    } else {
        long bitrate = 1000L * kBitrates[h->version == 0 ? 0 : 1][h->layer - 1][bitrateIndex];
        h->size = frameSize(h->version, h->layer, bitrate, h->sampleRate, padding);
    }
    h->samples = h->layer == 1 ? 384 : (h->layer == 3 && h->version != 0 ? 576 : 1152);
    return true;
}

// Frames of one stream agree in these; the channel mode may change.
bool compatible(const FrameHeader& a, const FrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

// The largest free-format frame looked for: layer III at 640 kbit/s and
// 32 kHz, the most a decoder takes.
constexpr int kMaxFreeFrameSize = 2881;

// The size, before padding, of the free-format frame whose header is at pos:
// the distance to the next header of the same stream. 0 when none follows.
// The look ahead is one window from pos, so that the search for the first
// frame, which goes on from pos + 1, reads no byte twice.
int freeFrameSize(ChunkReader& r, long long pos) {
    const long long span = std::min<long long>(kMaxFreeFrameSize + 3, r.size() - pos);
    const Byte* p = span >= 4 ? r.at(pos, static_cast<size_t>(span)) : nullptr;
    if (p == nullptr) {
        return 0;
    }
    const Byte third = p[2] & 0xFD;  // all but the padding bit
    const int padding = (p[2] >> 1) & 1;
    const int layer = 4 - ((p[1] >> 1) & 3);
    for (long long distance = 21; distance + 3 <= span; ++distance) {
        const Byte* q = p + distance;
        if (q[0] == 0xFF && q[1] == p[1] && (q[2] & 0xFD) == third) {
            return static_cast<int>(distance) - padding * (layer == 1 ? 4 : 1);
        }
    }
    return 0;
}

bool headerAt(ChunkReader& r, long long pos, const FrameHeader* like, FrameHeader* h) {
    const Byte* p = r.at(pos, 4);
    if (p == nullptr) {
        return false;
    }
    int freeSize = like != nullptr ? like->freeSize : 0;
    if (like == nullptr && (p[2] >> 4) == 0) {
        freeSize = freeFrameSize(r, pos);
        p = r.at(pos, 4);  // the look ahead may have moved the window
    }
    return parseHeader(p, h, freeSize) && (like == nullptr || compatible(*h, *like));
}

// True when the frame at pos is followed by compatible frames, each where
// the one before ends, up to kFramesToLock or up to the end of the audio.
bool chainHolds(ChunkReader& r, long long pos, long long end, const FrameHeader& first) {
    long long next = pos + first.size;
    if (next > end) {
        return false;
    }
    for (int i = 1; i < kFramesToLock; ++i) {
        if (end - next < 4) {
            return true;
        }
        FrameHeader h;
        if (!headerAt(r, next, &first, &h)) {
            return false;
        }
        next += h.size;
        if (next >= end) {
            return true;
        }
    }
    return true;
}

// The first position in [from, limit) where frames chain, or -1.
long long findFrame(ChunkReader& r, long long from, long long limit, long long end,
                    const FrameHeader* like, FrameHeader* found) {
    if (limit > end - 4) {
        limit = end - 4;
    }
    for (long long pos = from; pos < limit + 1; ++pos) {
        const Byte* p = r.at(pos, 1);
        if (p == nullptr) {
            return -1;
        }
        if (*p == 0xFF && headerAt(r, pos, like, found) && chainHolds(r, pos, end, *found)) {
            return pos;
        }
    }
    return -1;
}

// Skips ID3v2 tags (there may be several) at pos; returns where they end.
long long skipId3v2(ChunkReader& r, long long pos) {
    for (;;) {
        const Byte* p = r.at(pos, 10);
        if (p == nullptr || std::memcmp(p, "ID3", 3) != 0 || p[3] == 0xFF || p[4] == 0xFF ||
            ((p[6] | p[7] | p[8] | p[9]) & 0x80) != 0) {
            return pos;
        }
        long long size = (static_cast<long long>(p[6]) << 21) | (p[7] << 14) | (p[8] << 7) | p[9];
        bool footer = (p[5] & 0x10) != 0;
        pos += 10 + size + (footer ? 10 : 0);
    }
}

// Where the audio ends: before an ID3v1, APE or Lyrics3 tag at the end.
long long audioEnd(int fd, long long size, long long audioStart) {
    long long end = size;
    for (int tags = 0; tags < 4; ++tags) {
        Byte b[32];
        if (end - 128 >= audioStart && readAt(fd, end - 128, b, 3) == 3 &&
            std::memcmp(b, "TAG", 3) == 0) {
            end -= 128;
            continue;
        }
        if (end - 32 >= audioStart && readAt(fd, end - 32, b, 32) == 32 &&
            std::memcmp(b, "APETAGEX", 8) == 0) {
            // The size counts the footer and the items, not the header.
            long long tagSize = littleEndian32(b + 12);
            long long total = tagSize + ((littleEndian32(b + 20) & 0x80000000u) ? 32 : 0);
            if (tagSize >= 32 && end - total >= audioStart) {
                end -= total;
                continue;
            }
        }
        if (end - 15 >= audioStart && readAt(fd, end - 15, b, 15) == 15 &&
            std::memcmp(b + 6, "LYRICS200", 9) == 0) {
            long long tagSize = 0;
            bool digits = true;
            for (int i = 0; i < 6; ++i) {
                digits = digits && b[i] >= '0' && b[i] <= '9';
                tagSize = tagSize * 10 + (b[i] - '0');
            }
            if (digits && end - 15 - tagSize >= audioStart) {
                end -= 15 + tagSize;
                continue;
            }
        }
        break;
    }
    return end;
}

// What a Xing/Info or VBRI header in the first frame says of the stream.
struct VbrHeader {
    long long frames = -1;  // audio frames, the header frame not included; -1 unknown
    long long bytes = -1;   // of the stream from the header frame on; -1 unknown
    long delay = 0;         // encoder delay to drop at the start, samples
    long padding = 0;       // padding to drop at the end, samples
    bool gapless = false;   // the decoder trims the audio to what this header says
    bool headerIsAudio = false;
};

// The delay of the layer III synthesis. Gapless decoding drops it at the
// start together with the encoder delay, and gets it back at the end only
// when the stream runs as far as its header says.
constexpr long kDecoderDelay = 529;

int sideInfoSize(const FrameHeader& h) {
    if (h.version == 0) {
        return h.channels == 1 ? 17 : 32;
    }
    return h.channels == 1 ? 9 : 17;
}

bool xingTagAt(const Byte* f, int at, const FrameHeader& h) {
    return at + 12 <= h.size &&
           (std::memcmp(f + at, "Xing", 4) == 0 || std::memcmp(f + at, "Info", 4) == 0);
}

std::optional<VbrHeader> readXing(const Byte* f, const FrameHeader& h) {
    // Writers put the tag right after the side information and most ignore
    // the 2-byte check word of a protected frame; some leave room for it.
    int at = 4 + sideInfoSize(h);
    if (!xingTagAt(f, at, h)) {
        at += 2;
        if (!h.crc || !xingTagAt(f, at, h)) {
            return std::nullopt;
        }
    }
    uint32_t flags = bigEndian32(f + at + 4);
    VbrHeader v;
    int next = at + 8;
    if ((flags & 1) != 0) {
        // A count of 0 says nothing: the frames are walked, and the decoder
        // does not trim the stream to it either.
        long long frames = bigEndian32(f + next);
        if (frames > 0) {
            v.frames = frames;
            v.gapless = true;
        }
        next += 4;
    }
    if ((flags & 2) != 0 && next + 4 <= h.size) {
        v.bytes = bigEndian32(f + next);
        next += 4;
    }
    next += ((flags & 4) != 0 ? 100 : 0) + ((flags & 8) != 0 ? 4 : 0);
    // The LAME extension, which starts with the encoder's name: 12 bits of
    // delay and 12 of padding at offset 21.
    if (next + 24 <= h.size && f[next] != 0) {
        v.delay = (f[next + 21] << 4) | (f[next + 22] >> 4);
        v.padding = ((f[next + 22] & 0x0F) << 8) | f[next + 23];
    }
    return v;
}

std::optional<VbrHeader> readVbri(const Byte* f, const FrameHeader& h) {
    constexpr int kAt = 4 + 32;
    if (kAt + 18 > h.size || std::memcmp(f + kAt, "VBRI", 4) != 0) {
        return std::nullopt;
    }
    VbrHeader v;
    v.bytes = bigEndian32(f + kAt + 10);
    v.frames = bigEndian32(f + kAt + 14);
    // A decoder does not recognise this header: it plays the frame that
    // carries it as (silent) audio and keeps the encoder delay.
    v.headerIsAudio = true;
    return v;
}

std::optional<VbrHeader> readVbrHeader(ChunkReader& r, long long pos, const FrameHeader& h) {
    if (h.layer != 3) {
        return std::nullopt;
    }
    const Byte* f = r.at(pos, h.size);
    if (f == nullptr) {
        return std::nullopt;
    }
    if (auto xing = readXing(f, h)) {
        return xing;
    }
    return readVbri(f, h);
}

// A header that promises more than the file holds (a truncated file, a
// broken writer) is not believed.
bool believable(const VbrHeader& v, const FrameHeader& h, long long pos, long long fileSize) {
    if (v.bytes >= 0 && pos + v.bytes > fileSize) {
        return false;
    }
    int smallest = frameSize(h.version, h.layer, 1000L * kBitrates[h.version == 0 ? 0 : 1][2][1],
                             h.sampleRate, 0);
    return v.frames * smallest <= fileSize - pos;
}

long long toMilliseconds(long long samples, long rate) {
    return samples <= 0 ? 0 : samples * 1000 / rate;
}

// Where the stream goes on after lost sync: past an ID3v2 tag (files joined
// together) or a little junk. After more than kResyncLimit bytes the walk
// gives up, and the engine plays no further than it counts.
long long resync(ChunkReader& r, long long pos, long long end, const FrameHeader& first,
                 FrameHeader* found) {
    long long afterTags = skipId3v2(r, pos);
    if (afterTags != pos && headerAt(r, afterTags, &first, found)) {
        return afterTags;
    }
    return findFrame(r, afterTags + 1, afterTags + kResyncLimit, end, &first, found);
}

// Frame sizes of one stream by the third header byte, so that the walk
// over thousands of frames needs no division; 0 where that byte (or the
// second) differs from the stream's.
class FrameSizes {
  public:
    FrameSizes(const Byte* firstHeader, const FrameHeader& first) : second_(firstHeader[1]) {
        Byte probe[4] = {0xFF, second_, 0, firstHeader[3]};
        for (int third = 0; third < 256; ++third) {
            probe[2] = static_cast<Byte>(third);
            FrameHeader h;
            sizes_[third] =
                parseHeader(probe, &h, first.freeSize) && compatible(h, first) ? h.size : 0;
        }
    }
    int sizeOf(const Byte* p) const { return p[0] == 0xFF && p[1] == second_ ? sizes_[p[2]] : 0; }

  private:
    Byte second_;
    int sizes_[256];
};

// Notes where frame number frames begins, at every step-th frame.
void addToIndex(FrameIndex* index, long long frames, long long pos) {
    if (index == nullptr || frames % index->step != 0) {
        return;
    }
    if (index->offsets.size() == FrameIndex::kMaxEntries) {
        // Full: every other entry goes, and the step doubles.
        for (std::size_t i = 0; 2 * i < index->offsets.size(); ++i) {
            index->offsets[i] = index->offsets[2 * i];
        }
        index->offsets.resize(FrameIndex::kMaxEntries / 2);
        index->step *= 2;
        if (frames % index->step != 0) {
            return;
        }
    }
    index->offsets.push_back(pos);
}

// Counts the complete frames compatible with first from pos to end,
// resynchronising past damage as a decoder would.
long long walkFrames(ChunkReader& r, long long pos, long long end, const FrameHeader& first,
                     const FrameSizes& sizes, FrameIndex* index) {
    long long frames = 0;
    while (end - pos >= 4) {
        const Byte* p = r.at(pos, 4);
        int size = p != nullptr ? sizes.sizeOf(p) : 0;
        FrameHeader h;
        if (size == 0) {
            if (headerAt(r, pos, &first, &h) || (pos = resync(r, pos, end, first, &h)) >= 0) {
                size = h.size;
            } else {
                break;
            }
        }
        if (pos + size > end) {
            break;  // a cut-off last frame does not play
        }
        addToIndex(index, frames, pos);
        ++frames;
        pos += size;
    }
    return frames;
}

// The samples that gapless decoding of this many frames yields. The decoder
// drops the encoder delay and its own at the start, and the padding up to
// the end of the last frame the header counts (followed by more frames, it
// plays them after the cut).
long long playableSamples(long long decodedFrames, const VbrHeader* v, int samplesPerFrame) {
    long long decoded = decodedFrames * samplesPerFrame;
    if (v == nullptr || !v->gapless) {
        return decoded;
    }
    long long cutFrom = v->frames * samplesPerFrame - v->padding + kDecoderDelay;
    long long cutTo = std::min(decoded, v->frames * samplesPerFrame);
    long long cut = cutTo > cutFrom ? cutTo - cutFrom : 0;
    return decoded - v->delay - kDecoderDelay - cut;
}

// True when more frames follow where the header says the stream ends, as in
// files joined together: the decoder plays them too.
bool streamGoesOn(ChunkReader& r, const VbrHeader& v, long long pos, const FrameHeader& first) {
    if (v.bytes < 0 || pos + v.bytes + 4 > r.size()) {
        return false;
    }
    FrameHeader h;
    return headerAt(r, skipId3v2(r, pos + v.bytes), &first, &h);
}

// Frames decoded from the stream whose first frame is at pos.
long long countFrames(ChunkReader& r, int fd, long long pos, const FrameHeader& first,
                      const std::optional<VbrHeader>& vbr, FrameIndex* index) {
    if (vbr && vbr->frames >= 0 && believable(*vbr, first, pos, r.size()) &&
        !streamGoesOn(r, *vbr, pos, first)) {
        return vbr->frames + (vbr->headerIsAudio ? 1 : 0);
    }
    long long audioStart = vbr && !vbr->headerIsAudio ? pos + first.size : pos;
    const Byte* header = r.at(pos, 4);
    if (header == nullptr) {
        return 0;
    }
    FrameSizes sizes(header, first);
    // The index only where the frames are all the decoder counts too: without
    // any header, which a decoder might take as a frame of its own or not.
    return walkFrames(r, audioStart, audioEnd(fd, r.size(), audioStart), first, sizes,
                      vbr ? nullptr : index);
}

Failure measureOpenFile(int fd, long long size, Mp3Facts* facts, FrameIndex* index) {
    ChunkReader r(fd, size);
    long long start = skipId3v2(r, 0);
    FrameHeader first;
    long long pos = findFrame(r, start, start + kFirstFrameSearchLimit, size, nullptr, &first);
    if (pos < 0) {
        return r.error() != 0 ? Failure{MCIERR_FILE_READ, r.error()}
                              : Failure{MCIERR_INVALID_FILE, EINVAL};
    }
    auto vbr = readVbrHeader(r, pos, first);
    long long frames = countFrames(r, fd, pos, first, vbr, index);
    if (r.error() != 0) {
        return Failure{MCIERR_FILE_READ, r.error()};
    }
    if (facts != nullptr) {
        long long samples = playableSamples(frames, vbr ? &*vbr : nullptr, first.samples);
        facts->lengthMs = toMilliseconds(samples, first.sampleRate);
        facts->lengthSamples = std::max(samples, 0LL);
        facts->sampleRate = first.sampleRate;
        facts->channels = first.channels;
    }
    return Failure{};
}

Failure openFailure(int error) {
    if (error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == ELOOP) {
        return {MCIERR_FILE_NOT_FOUND, error};
    }
    return {MCIERR_FILE_READ, error};
}

}  // namespace

Failure openMp3(const char* path, UniqueFd* file) {
    if (path == nullptr || *path == '\0') {
        return openFailure(ENOENT);
    }
    // Non-blocking, so that a FIFO named .mp3 cannot hold us in open().
    UniqueFd opened(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!opened.valid()) {
        return openFailure(errno);
    }
    *file = std::move(opened);
    return {};
}

Failure measureMp3File(int fd, Mp3Facts* facts, FrameIndex* index) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return openFailure(errno);
    }
    if (!S_ISREG(st.st_mode) || st.st_size == 0) {
        return {MCIERR_INVALID_FILE, S_ISDIR(st.st_mode) ? EISDIR : EINVAL};
    }
    return measureOpenFile(fd, st.st_size, facts, index);
}

Failure measureMp3Path(const char* path, Mp3Facts* facts) {
    UniqueFd file;
    if (const Failure failure = openMp3(path, &file); failure.failed()) {
        return failure;
    }
    return measureMp3File(file.get(), facts);
}

int measureMp3(const char* path, Mp3Facts* facts) {
    const Failure failure = measureMp3Path(path, facts);
    if (failure.failed()) {
        errno = failure.error;
    }
    return failure.code;
}

}  // namespace mci
