// The track: the song open under the alias MP3_Device. This is the only code
// that speaks to it; the player's procedures call these instead of spelling
// the command texts themselves.
#pragma once

#include "player/media.h"

// Whether a track is open is S.trackOpen, kept here. Queries of a track that
// is not open send nothing and give empty replies, or 0.

// Opens a song by its short name; false, with nothing open, when the media
// layer refuses the file.
bool openTrack(const char* shortName);
// Starts the open track from fromMs (0: from its start). With notify, its end
// wakes the player's waits. False when the media layer cannot play it.
bool startTrack(long long fromMs);

// These end the program on failure ("error" through perror, status 1).
void stopTrack();
void pauseTrack();
void resumeTrack();
void closeTrack();
// The track's mode ("playing", "paused", "stopped").
void trackMode(char (&reply)[kReplySize]);

// The close of the exit sequence, sent whether or not a track is open: its
// failure changes nothing.
void closeTrackQuietly();

// Replies to the length and position queries; a failed query leaves its
// reply empty.
void trackTimes(char (&length)[kReplySize], char (&position)[kReplySize]);
long long trackPositionMs();
long long trackLengthMs();
// The speed in thousandths of the normal speed; 0 when it cannot be told.
long long trackSpeed();

// Makes the track jump to ms, or play at a speed in thousandths of the
// normal one. The media layer's result: 0, or the code of its refusal. The
// text is the decimal text of the value, as typed or as computed.
int jumpTrack(const char* milliseconds);
int setTrackSpeed(const char* thousandths);
// Whether such a result refuses the value rather than reports a failure.
bool valueRefused(int result);
// The number of jumps so far, for whoever reports them.
unsigned trackJumps();

// Sets the volume in thousandths of full; the result is not examined.
void setTrackVolume(int thousandths);
// Sets the ReplayGain kind, "off", "track" or "album"; the result is not
// examined.
void setTrackGain(const char* kind);
// The gain the track plays at ("-6.2 dB", "+6.0 dB (peak)", "no gain");
// empty when none is open or the query fails.
void trackGain(char (&reply)[kReplySize]);
