// Playback control and the status display: the procedures that act on the
// track (through player/track.h) for the command loop and the dialogs.
#pragma once

// Opens and starts the song of slot num of the page shown. A song that the
// media layer refuses is reported on the status line and counts as ended.
void Play();
void Stop();
// Pauses the track and shows so on the status line; the keys then go to the
// pause (S.keysAt), where the command loop holds until Resume.
void Pause();
// Shows that the track plays again and resumes it; the keys go back to the
// main screen.
void Resume();
void CloseSong();
// Polls the track's mode into isPlay and flashes the playing row.
void StatSong();
// Shows the track's end time, its current time and the folder's total time.
void GetSongLength();

// The row of the status line.
constexpr int kStatusRow = 23;

// Prints the status line: playing, stopped, or the song that could not play.
void drawStatusLine();
// Prints the status line of the pause.
void showPaused();
