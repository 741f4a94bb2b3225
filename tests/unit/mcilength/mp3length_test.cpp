// Lengths measured from headers against what libmpg123 decodes from the same
// files. The files are made once per run with sox and lame in a temporary
// folder; decoding is the reference, with gapless trimming on as by default.
#include "platform/mci/mp3length.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/mci/mci.h"
#include "support/mp3maker.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

constexpr long long kToleranceMs = 60;

fs::path gDir;

fs::path at(const std::string& name) {
    return gDir / name;
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes randomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& c : b) {
        c = static_cast<unsigned char>(gen());
    }
    return b;
}

void putBigEndian(Bytes& b, size_t at, uint32_t v, int width) {
    for (int i = 0; i < width; ++i) {
        b[at + i] = static_cast<unsigned char>(v >> (8 * (width - 1 - i)));
    }
}

// An ID3v2.3 tag of exactly `size` bytes whose private frame holds `payload`
// (here real MP3 frames, which a reader that does not skip the tag would count).
Bytes id3v2Tag(size_t size, const Bytes& payload) {
    Bytes tag(size, 0);
    std::copy_n("ID3\x03\x00\x00", 6, tag.begin());
    size_t body = size - 10;
    for (int i = 0; i < 4; ++i) {
        tag[6 + i] = (body >> (7 * (3 - i))) & 0x7F;
    }
    std::copy_n("PRIV", 4, tag.begin() + 10);
    putBigEndian(tag, 14, static_cast<uint32_t>(payload.size()), 4);
    std::copy(payload.begin(), payload.end(), tag.begin() + 20);
    return tag;
}

void putLittleEndian(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

// An APE tag with one binary item holding `payload` (MP3 frames again), then
// an ID3v1 tag: what a tagger leaves at the end of a file.
Bytes apeAndId3v1Tags(const Bytes& payload) {
    Bytes item(8, 0);
    putLittleEndian(item, 0, static_cast<uint32_t>(payload.size()));
    putLittleEndian(item, 4, 2);  // binary
    item = concat(concat(item, Bytes{'C', 'o', 'v', 'e', 'r', 0}), payload);
    auto headerOrFooter = [&](uint32_t flags) {
        Bytes b(32, 0);
        std::copy_n("APETAGEX", 8, b.begin());
        putLittleEndian(b, 8, 2000);
        putLittleEndian(b, 12, static_cast<uint32_t>(item.size() + 32));
        putLittleEndian(b, 16, 1);
        putLittleEndian(b, 20, flags);
        return b;
    };
    Bytes id3v1(128, 0);
    std::copy_n("TAGtitle", 8, id3v1.begin());
    return concat(concat(concat(headerOrFooter(0xA0000000u), item), headerOrFooter(0x80000000u)),
                  id3v1);
}

struct Decoded {
    long long ms = 0;
    long rate = 0;
    int channels = 0;
};

class Decoder {
  public:
    Decoder() : handle_(mpg123_new(nullptr, nullptr)) {
        // Configured as the engine plays: it skips as much junk as is counted.
        mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
        mpg123_param(handle_, MPG123_RESYNC_LIMIT, mci::kResyncLimit, 0);
    }
    ~Decoder() { mpg123_delete(handle_); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    Decoded decode(const fs::path& path) {
        Decoded d;
        int encoding = 0;
        if (mpg123_open(handle_, path.c_str()) != MPG123_OK ||
            mpg123_getformat(handle_, &d.rate, &d.channels, &encoding) != MPG123_OK) {
            return d;
        }
        std::vector<unsigned char> buf(1 << 16);
        long long bytes = 0;
        size_t done = 0;
        int rc;
        do {
            rc = mpg123_read(handle_, buf.data(), buf.size(), &done);
            bytes += static_cast<long long>(done);
        } while (rc == MPG123_OK || rc == MPG123_NEW_FORMAT);
        mpg123_close(handle_);
        d.ms = bytes / (d.channels * mpg123_encsize(encoding)) * 1000 / d.rate;
        return d;
    }

  private:
    mpg123_handle* handle_;
};

Decoded decode(const fs::path& path) {
    return Decoder().decode(path);
}

mci::Mp3Facts measure(const fs::path& path) {
    mci::Mp3Facts facts;
    EXPECT_EQ(mci::measureMp3(path.c_str(), &facts), 0) << path;
    return facts;
}

// A VBR stream without a tag behind a frame carrying a VBRI header, which
// lame cannot write. The header frame is MPEG-1 layer III, 128 kbit/s,
// 44.1 kHz: 417 bytes.
Bytes withVbriHeader(const Bytes& stream, long long frames, long long bytesClaimed) {
    Bytes frame(417, 0);
    std::copy_n("\xFF\xFB\x90\x64", 4, frame.begin());
    std::copy_n("VBRI", 4, frame.begin() + 36);
    putBigEndian(frame, 40, 1, 2);    // version
    putBigEndian(frame, 42, 576, 2);  // delay
    putBigEndian(frame, 44, 75, 2);   // quality
    putBigEndian(frame, 46, static_cast<uint32_t>(bytesClaimed), 4);
    putBigEndian(frame, 50, static_cast<uint32_t>(frames), 4);
    putBigEndian(frame, 56, 1, 2);  // table scale; the table is empty
    return concat(frame, stream);
}

// Makes the corpus: a source that is half tone, half noise (so that VBR
// frames differ in size), and every kind of file from it.
class Corpus : public ::testing::Environment {
  public:
    void SetUp() override {
        made_ = std::make_unique<TempFolder>("mcilength");
        gDir = made_->path();
        ASSERT_FALSE(gDir.empty());
        std::string d = gDir.string() + "/";
        // The same noise on every run, so that every run tests the same files
        // (the decoder's resync through junk depends on their bytes).
        mp3maker::synthesize(d + "tone.wav", 44100, 2, "1.5 sine 440 sine 660");
        mp3maker::synthesize(d + "noise.wav", 44100, 2, "1.5 whitenoise vol 0.5");
        mp3maker::run("sox -q -R " + d + "tone.wav " + d + "noise.wav " + d + "source.wav");
        const std::pair<const char*, const char*> kinds[] = {
            {"cbr", "--cbr -b 128"},
            {"cbr-untagged", "-t --cbr -b 128"},
            {"vbr", "-V 4"},
            {"vbr-untagged", "-t -V 4"},
            {"mpeg2", "-V 4 --resample 22.05"},
            {"mpeg2-mono", "-m m -V 4 --resample 16"},
            {"mpeg25", "-V 4 --resample 11.025"},
            {"mpeg25-8k", "--resample 8"},
            {"mpeg25-untagged", "-t --resample 8"},
            {"mono", "-m m -V 4"},
            {"protected", "-p -V 4"},
            {"freeformat", "--freeformat -b 320"},
        };
        for (const auto& [name, options] : kinds) {
            mp3maker::encode(d + "source.wav", d + name + ".mp3", options);
        }
        Bytes untagged = readFile(at("vbr-untagged.mp3"));
        Bytes someFrames(untagged.begin(),
                         untagged.begin() + static_cast<long>(untagged.size() * 2 / 5));
        Bytes tag = id3v2Tag(1000000, someFrames);
        writeFile(at("id3v2.mp3"), concat(tag, readFile(at("vbr.mp3"))));
        writeFile(at("id3v2-untagged.mp3"), concat(tag, untagged));
        writeFile(at("end-tags.mp3"), concat(untagged, apeAndId3v1Tags(someFrames)));
        long long frames = decode(at("vbr-untagged.mp3")).ms * 44100 / 1000 / 1152;
        writeFile(at("vbri.mp3"), withVbriHeader(untagged, frames, 417 + untagged.size()));
    }
    void TearDown() override { made_.reset(); }

  private:
    std::unique_ptr<TempFolder> made_;
};

const auto* const gCorpus = ::testing::AddGlobalTestEnvironment(new Corpus);

class EachKind : public ::testing::TestWithParam<const char*> {};

TEST_P(EachKind, LengthAndFormatMatchDecoding) {
    fs::path file = at(std::string(GetParam()) + ".mp3");
    Decoded want = decode(file);
    ASSERT_GT(want.ms, 2000) << "reference decode failed";
    mci::Mp3Facts got = measure(file);
    EXPECT_NEAR(got.lengthMs, want.ms, kToleranceMs);
    EXPECT_EQ(got.sampleRate, want.rate);
    EXPECT_EQ(got.channels, want.channels);
}

INSTANTIATE_TEST_SUITE_P(Files, EachKind,
                         ::testing::Values("cbr", "cbr-untagged", "vbr", "vbr-untagged", "mpeg2",
                                           "mpeg2-mono", "mpeg25", "mpeg25-8k", "mpeg25-untagged",
                                           "mono", "protected", "id3v2", "id3v2-untagged",
                                           "end-tags", "vbri", "freeformat"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             return name;
                         });

TEST(EndTags, AreNotCountedAsAudio) {
    EXPECT_NEAR(measure(at("end-tags.mp3")).lengthMs, decode(at("vbr-untagged.mp3")).ms,
                kToleranceMs);
}

// Headers that promise more than the file holds: what can be played counts.
TEST(LyingHeaders, TruncatedFilesReportWhatPlays) {
    for (const char* name : {"vbr", "cbr", "mpeg25-8k", "vbri", "id3v2"}) {
        Bytes whole = readFile(at(std::string(name) + ".mp3"));
        size_t audio = readFile(at("vbr.mp3")).size();  // the stream behind id3v2's tag
        for (double part : {0.4, 0.05}) {
            fs::path cut = at(std::string("cut-") + name + ".mp3");
            size_t keep = whole.size() - static_cast<size_t>(std::min(whole.size(), audio) * part);
            writeFile(cut, Bytes(whole.begin(), whole.begin() + static_cast<long>(keep)));
            long long want = decode(cut).ms;
            EXPECT_NEAR(measure(cut).lengthMs, want, kToleranceMs) << name << " cut to " << part;
        }
    }
}

TEST(LyingHeaders, FrameCountTheBytesCannotHoldIsNotBelieved) {
    Bytes file = readFile(at("cbr.mp3"));
    putBigEndian(file, 36 + 8, 0x00FFFFFF, 4);  // the Info tag's frame count
    writeFile(at("many-frames.mp3"), file);
    EXPECT_NEAR(measure(at("many-frames.mp3")).lengthMs, decode(at("cbr.mp3")).ms, kToleranceMs);
}

// A header that counts no frames says nothing of the length: the frames are
// walked, and the song is not taken for an empty one.
TEST(LyingHeaders, AFrameCountOfZeroIsNoCount) {
    for (const char* name : {"cbr", "vbr"}) {
        Bytes file = readFile(at(std::string(name) + ".mp3"));
        putBigEndian(file, 36 + 8, 0, 4);  // the Xing/Info tag's frame count
        writeFile(at("zero-frames.mp3"), file);
        long long want = decode(at("zero-frames.mp3")).ms;
        EXPECT_GT(want, 2000) << name;
        EXPECT_NEAR(measure(at("zero-frames.mp3")).lengthMs, want, kToleranceMs) << name;
    }
}

// A little junk is skipped; after a lot the decoder stops, and so does the count.
TEST(Damage, JunkInTheMiddleCountsAsTheDecoderPlaysIt) {
    for (size_t junkSize : {size_t{600}, size_t{3000}, size_t{12000}}) {
        Bytes file = readFile(at("vbr-untagged.mp3"));
        Bytes junk = randomBytes(junkSize, 7);
        file.insert(file.begin() + static_cast<long>(file.size() / 2), junk.begin(), junk.end());
        writeFile(at("damaged.mp3"), file);
        EXPECT_NEAR(measure(at("damaged.mp3")).lengthMs, decode(at("damaged.mp3")).ms, kToleranceMs)
            << junkSize << " bytes of junk";
    }
}

// Joined files play one after the other, though the first header counts only its own frames.
TEST(Damage, JoinedFilesCountWhole) {
    Bytes tagged = readFile(at("vbr.mp3"));
    Bytes withTag = concat(id3v2Tag(20000, {}), readFile(at("vbr-untagged.mp3")));
    writeFile(at("joined.mp3"), concat(tagged, tagged));
    writeFile(at("joined-tag.mp3"), concat(tagged, withTag));
    for (const char* name : {"joined.mp3", "joined-tag.mp3"}) {
        long long want = decode(at(name)).ms;
        EXPECT_GT(want, 5000);
        EXPECT_NEAR(measure(at(name)).lengthMs, want, kToleranceMs) << name;
    }
}

TEST(Damage, MutatedHeadersNeverCrashNorClaimMoreThanTheBytesHold) {
    std::mt19937 gen(42);
    for (const char* name : {"vbr", "cbr-untagged", "mpeg25-8k", "vbri"}) {
        Bytes original = readFile(at(std::string(name) + ".mp3"));
        for (int round = 0; round < 60; ++round) {
            Bytes file = original;
            for (int i = 0; i < 8; ++i) {
                file[gen() % 2048] = static_cast<unsigned char>(gen());
            }
            file.resize(file.size() - gen() % (file.size() / 2));
            writeFile(at("mutated.mp3"), file);
            mci::Mp3Facts facts;
            int rc = mci::measureMp3(at("mutated.mp3").c_str(), &facts);
            ASSERT_TRUE(rc == 0 || rc == MCIERR_INVALID_FILE) << rc;
            // The lowest bit rate, 8 kbit/s, is one byte a millisecond.
            EXPECT_LE(facts.lengthMs, static_cast<long long>(file.size())) << name;
        }
    }
}

struct Refusal {
    int code;
    int error;
};

Refusal refusal(const fs::path& path) {
    errno = 0;
    int code = mci::measureMp3(path.c_str(), nullptr);
    return {code, errno};
}

TEST(BadInput, WhatIsNotMpegAudioIsInvalid) {
    writeFile(at("empty.mp3"), {});
    writeFile(at("text.mp3"), Bytes(2000, 'a'));
    Bytes straySync = Bytes(4096, 0x20);  // one valid header and nothing after it
    std::copy_n("\xFF\xFB\x90\x64", 4, straySync.begin() + 100);
    writeFile(at("stray.mp3"), straySync);
    writeFile(at("random.mp3"), randomBytes(10 * 1024 * 1024, 1));
    writeFile(at("tag-only.mp3"), id3v2Tag(4096, {}));
    Bytes tagPastEnd = id3v2Tag(4096, {});
    tagPastEnd[6] = 0x7F;  // the tag claims 256 MB
    writeFile(at("tag-past-end.mp3"), concat(tagPastEnd, readFile(at("cbr.mp3"))));
    fs::copy_file(at("source.wav"), at("wave.mp3"));
    for (const char* name : {"empty.mp3", "text.mp3", "stray.mp3", "random.mp3", "tag-only.mp3",
                             "tag-past-end.mp3", "wave.mp3"}) {
        Refusal r = refusal(at(name));
        EXPECT_EQ(r.code, MCIERR_INVALID_FILE) << name;
        EXPECT_EQ(r.error, EINVAL) << name;
    }
}

TEST(BadInput, JunkBeforeTheAudioIsSkippedWithinTheSearchLimit) {
    Bytes audio = readFile(at("cbr.mp3"));
    writeFile(at("junk-near.mp3"), concat(Bytes(10000, 0), audio));
    writeFile(at("junk-far.mp3"), concat(Bytes(mci::kFirstFrameSearchLimit + 10, 0), audio));
    EXPECT_NEAR(measure(at("junk-near.mp3")).lengthMs, decode(at("cbr.mp3")).ms, kToleranceMs);
    EXPECT_EQ(refusal(at("junk-far.mp3")).code, MCIERR_INVALID_FILE);
}

TEST(BadInput, FilesystemFailuresHaveTheirOwnCodes) {
    fs::create_directory(at("folder.mp3"));
    EXPECT_EQ(refusal(at("folder.mp3")).code, MCIERR_INVALID_FILE);
    EXPECT_EQ(refusal(at("folder.mp3")).error, EISDIR);
    EXPECT_EQ(refusal(at("missing.mp3")).code, MCIERR_FILE_NOT_FOUND);
    EXPECT_EQ(refusal(at("missing.mp3")).error, ENOENT);
    EXPECT_EQ(refusal(at("cbr.mp3/inside")).code, MCIERR_FILE_NOT_FOUND);
    EXPECT_EQ(mci::measureMp3("", nullptr), MCIERR_FILE_NOT_FOUND);
    EXPECT_EQ(mci::measureMp3(nullptr, nullptr), MCIERR_FILE_NOT_FOUND);
    // A FIFO must be refused, not waited on for a writer.
    ASSERT_EQ(mkfifo(at("pipe.mp3").c_str(), 0600), 0);
    EXPECT_EQ(refusal(at("pipe.mp3")).code, MCIERR_INVALID_FILE);
}

TEST(BadInput, UnreadableFileIsAReadError) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    fs::copy_file(at("cbr.mp3"), at("locked.mp3"));
    fs::permissions(at("locked.mp3"), fs::perms::none);
    Refusal r = refusal(at("locked.mp3"));
    EXPECT_EQ(r.code, MCIERR_FILE_READ);
    EXPECT_EQ(r.error, EACCES);
}

}  // namespace
