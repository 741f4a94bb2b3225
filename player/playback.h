// Playback control and the status display: the only code that drives the
// track open under the alias MP3_Device.
#pragma once

#include "player/media.h"

// Opens and starts the song of slot num of the page shown. A song that the
// media layer refuses is reported on the status line and counts as ended.
void Play();
void Stop();
void Resume();
void CloseSong();
// Polls the track's mode into isPlay and flashes the playing row.
void StatSong();
// Shows the track's end time, its current time and the folder's total time.
void GetSongLength();
// The replies to the track's length and position queries; empty when no
// track is open.
void trackTimes(char (&length)[kReplySize], char (&position)[kReplySize]);

// The row of the status line.
constexpr int kStatusRow = 23;

// Prints the status line: playing, stopped, or the song that could not play.
void drawStatusLine();
