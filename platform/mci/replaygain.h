// ReplayGain: what a song's tags say of its loudness, and the gain that its
// samples are multiplied by so that songs play at one loudness without a
// sample going beyond full scale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mci {

// The largest gain, up or down, that a tag may give. A value beyond it is
// damage, not a measurement: no tagger computes one so large.
constexpr float kMaxGainDb = 51.0f;
// The largest peak taken from a tag, as a fraction of full scale: beyond
// it no decoded song goes.
constexpr float kMaxPeak = 10.0f;

// What a song's tags say: gains in dB, peaks as a fraction of full scale. A
// field is absent when no tag gives it or when what the tag holds cannot be
// read or is out of range.
struct GainTags {
    std::optional<float> trackDb;
    std::optional<float> trackPeak;
    std::optional<float> albumDb;
    std::optional<float> albumPeak;
};

// Which of the four values an item names ("replaygain_track_gain" and so
// on, in any letter case).
enum class GainField { kNone, kTrackGain, kTrackPeak, kAlbumGain, kAlbumPeak };
GainField gainFieldNamed(std::string_view name);

// Reads a value as taggers write it: "-6.20 dB", "+2.1", "-6,2 dB" for a
// gain, "0.988525" for a peak; blanks around it are allowed, anything else
// makes it unreadable.
std::optional<float> parseGainText(std::string_view text);
std::optional<float> parsePeakText(std::string_view text);

// Stores the value of an item of the named field in *tags, unless the field
// holds one already: the first readable value of a field wins.
void takeGainItem(GainTags* tags, GainField field, std::string_view text);

// Reads every ReplayGain tag of the MP3 file open on fd, through pread only,
// so that a decoder reading the same descriptor is not disturbed. In turn:
// ID3v2 TXXX frames, APEv2 items, then the gain that libmpg123 takes from an
// RVA2 frame or else from the LAME tag (it reads no peak from either).
GainTags readGainTags(int fd);

enum class GainKind { kOff, kTrack, kAlbum };

// Parses "off", "track" or "album", in any letter case.
std::optional<GainKind> gainKindNamed(std::string_view word);

// The gain a song plays at.
struct AppliedGain {
    bool tagged = false;  // the song has a gain for the kind asked for
    float factor = 1.0f;  // what each of its samples is multiplied by
    bool capped = false;  // the peak rule held the gain below the tag's
};

// The gain for kind: track, the track gain; album, the album gain, else the
// track gain. It is capped so that the tagged peak, times the gain and the
// volume's gain, stays at or below full scale; without a peak a gain is not
// applied above 0 dB. The peak is the one of the gain's kind, else the
// other one (the album's peak is never below the song's own).
AppliedGain applyGain(const GainTags& tags, GainKind kind, float volumeGain);

// What the status query answers: "-6.2 dB", "+6.0 dB (peak)" when capped,
// "no gain" for a song without one.
std::string describeGain(const AppliedGain& gain);

// The ReplayGain of one open song: the kind asked for, its tags, read the
// first time a kind other than off is asked for (so that a song played
// without ReplayGain costs nothing more), and the gain they give.
class SongGain {
  public:
    // Sets the kind, reading the tags from the song's file open on fd (see
    // readGainTags) if they are needed and not read yet. Returns the factor
    // for the song's samples.
    float setKind(GainKind kind, int fd, float volumeGain);
    // The cap depends on the volume: the factor for a new one.
    float setVolume(float volumeGain);
    bool on() const { return kind_ != GainKind::kOff; }
    // "off", or the gain applied (see describeGain).
    std::string text() const;

  private:
    GainKind kind_ = GainKind::kOff;
    std::optional<GainTags> tags_;
    AppliedGain applied_;
};

}  // namespace mci
