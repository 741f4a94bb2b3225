// The gain tags of a song, from every place a tagger writes them, and the
// gain they give.
#include "platform/mci/replaygain.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <sstream>

#include "platform/mci/volume.h"
#include "tests/unit/mci/fixtures.h"

namespace {

using namespace mcitest;
using mci::GainKind;
using mci::GainTags;

class Gain : public MciTest {};

GainTags tagsOf(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    const GainTags tags = mci::readGainTags(fd);
    ::close(fd);
    return tags;
}

// The fields as text, absent ones as "-", so that a failure shows them all.
std::string fields(const GainTags& tags) {
    std::ostringstream text;
    for (const auto& field : {tags.trackDb, tags.trackPeak, tags.albumDb, tags.albumPeak}) {
        field ? text << *field << ' ' : text << "- ";
    }
    return text.str();
}

// Each place a tagger writes a gain, in any letter case. two.mp3 carries
// the gain its encoder measured in its LAME tag: an ID3v2 tag comes first.
TEST_F(Gain, EveryPlaceATaggerWritesAGainIsRead) {
    writeTagged("txxx.mp3", "two.mp3",
                id3v2Tag(txxxFrame("REPLAYGAIN_TRACK_GAIN", "-6.20 dB") +
                         txxxFrame("replaygain_track_peak", "0.5") +
                         txxxFrame("ReplayGain_Album_Gain", "+2.1 dB") +
                         txxxFrame("replaygain_album_PEAK", " 0,75 ")));
    EXPECT_EQ(fields(tagsOf("txxx.mp3")), "-6.2 0.5 2.1 0.75 ");
    EXPECT_NE(tagsOf("two.mp3").trackDb, std::nullopt);
    writeTagged("rva2.mp3", "plain.mp3",
                id3v2Tag(rva2Frame("track", -10) + rva2Frame("album", -8)));
    EXPECT_EQ(fields(tagsOf("rva2.mp3")), "-10 - -8 - ");
    writeTagged("lame.mp3", "plain.mp3", "", "", -10.0);
    EXPECT_EQ(fields(tagsOf("lame.mp3")), "-10 - - - ");
    const std::string ape = apeTag({{"MP3GAIN_MINMAX", "120,190"},
                                    {"REPLAYGAIN_TRACK_GAIN", "-10.000000 dB"},
                                    {"replaygain_track_peak", "0.250000"},
                                    {"Replaygain_Album_Gain", "-7.5 dB"}});
    writeTagged("ape.mp3", "plain.mp3", "", ape);
    EXPECT_EQ(fields(tagsOf("ape.mp3")), "-10 0.25 -7.5 - ");
    writeTagged("ape-v1.mp3", "plain.mp3", "", ape + "TAG" + std::string(125, ' '));
    EXPECT_EQ(fields(tagsOf("ape-v1.mp3")), "-10 0.25 -7.5 - ");
}

// A frame that is there but unreadable is no gain, not what libmpg123 makes
// of it ("-6.2 dBx" as -6.2); nor is a value beyond 51 dB, nor a peak of 0.
TEST_F(Gain, WhatCannotBeReadOrIsOutOfRangeIsNoGain) {
    writeTagged("bad.mp3", "plain.mp3",
                id3v2Tag(txxxFrame("replaygain_track_gain", "-6.2 dBx") +
                         txxxFrame("replaygain_track_peak", "0") +
                         txxxFrame("replaygain_album_gain", "-60 dB")),
                apeTag({{"REPLAYGAIN_ALBUM_PEAK", "loud"}, {"REPLAYGAIN_ALBUM_GAIN", "1e1"}}));
    EXPECT_EQ(fields(tagsOf("bad.mp3")), "- - - - ");
    EXPECT_EQ(fields(tagsOf("plain.mp3")), "- - - - ");
}

float factorOf(const GainTags& tags, GainKind kind, int volume = mci::kFullVolume) {
    return mci::applyGain(tags, kind, mci::gainOf(volume)).factor;
}

// The peak times the gain and the volume stays at or below full scale;
// album falls back to the track gain, track takes no album gain.
TEST(GainCap, ThePeakHoldsTheGainWithTheVolume) {
    const GainTags loud{12.0f, 0.5f, {}, {}};
    const mci::AppliedGain atFull = mci::applyGain(loud, GainKind::kTrack, 1.0f);
    EXPECT_FLOAT_EQ(atFull.factor, 2.0f);
    EXPECT_EQ(mci::describeGain(atFull), "+6.0 dB (peak)");
    EXPECT_FLOAT_EQ(factorOf(loud, GainKind::kTrack, 500), std::pow(10.0f, 0.6f));
    EXPECT_FLOAT_EQ(factorOf({3.0f, {}, {}, {}}, GainKind::kTrack), 1.0f);  // no peak: 0 dB
    EXPECT_FLOAT_EQ(factorOf({-1.0f, 1.25f, {}, {}}, GainKind::kTrack), 0.8f);
    EXPECT_EQ(mci::describeGain(mci::applyGain({}, GainKind::kTrack, 1)), "no gain");
    const GainTags both{-6.0f, {}, -12.0f, 0.9f};
    EXPECT_FLOAT_EQ(factorOf(both, GainKind::kAlbum), std::pow(10.0f, -0.6f));
    EXPECT_FLOAT_EQ(factorOf({-6.0f, {}, {}, {}}, GainKind::kAlbum), std::pow(10.0f, -0.3f));
    EXPECT_FLOAT_EQ(factorOf({{}, {}, -12.0f, {}}, GainKind::kTrack), 1.0f);
    EXPECT_FLOAT_EQ(factorOf(both, GainKind::kOff), 1.0f);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    mcitest::installFixtures();
    return RUN_ALL_TESTS();
}
