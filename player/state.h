// The player's whole state: one record, one instance for the life of the
// process. Every procedure of the player reads and writes its fields directly.
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/memory.h"

// Table sizes and limits.
constexpr int kMaxSongs = 5000;     // songs in the catalogue
constexpr int kCellSize = 128;      // a text cell: 127 bytes and a zero
constexpr int kShortCellSize = 80;  // a short-name cell: 79 bytes and a zero
constexpr int kSlotsPerPage = 9;    // songs shown and played per page
constexpr int kPages = (kMaxSongs + kSlotsPerPage - 1) / kSlotsPerPage;  // 556: every song pages
constexpr int kPageCells = kSlotsPerPage + 1;  // the tenth slot stays empty and ends every walk
constexpr int kDisplayNameMax = 50;            // bytes of a file name kept for display
constexpr int kRowTableSize = 1000;

// The modes of play, as PlayerState holds them.
constexpr int kRepeatFolder = 0;  // after the folder's last song, its first
constexpr int kRepeatSong = 1;    // the song again
constexpr int kRepeatOff = 2;     // stop after the folder's last song
constexpr int kGainOff = 0;       // ReplayGain: none, the track's, the album's, or either
constexpr int kGainTrack = 1;
constexpr int kGainAlbum = 2;
constexpr int kGainAuto = 3;
// The scales of the track's quantities, as the media commands take them.
constexpr int kFullVolume = 1000;   // volume in thousandths of full
constexpr int kNormalSpeed = 1000;  // speed in thousandths of the normal speed

using Cell = char[kCellSize];

// Where the keys go now: the main screen's command loop, the pause (which
// takes only W), or a screen that takes them as text. A command from outside
// (the session bus) is refused where a key would not act as a command.
enum class KeysAt { MainScreen, Paused, Dialog, FolderPrompt };
using ShortCell = char[kShortCellSize];

// Aligned, and so padded, to whole large pages: a large page backs only a
// range that its mapping covers entirely, and without the padding the last
// megabytes of tables would share their range with the end of the program's
// data and be faulted in page by page.
struct alignas(kLargePageSize) PlayerState {
    // Catalogue, by catalogue index in directory-search order. Entries 0 to 8
    // of NextSong and LongFileName double as the window of the page shown.
    Cell NextSong[kMaxSongs];            // short name of each song: what is opened
    Cell LongFileName[kMaxSongs];        // file name as found, cut in place to the display name
    ShortCell ShortPathName[kMaxSongs];  // answer of the short-name query for each song
    Cell CompareNames[kMaxSongs];        // display names recorded at the previous exit
    int number[kMaxSongs];               // each song's length in whole seconds

    // Pages: song k stands in page k / 9, slot k % 9.
    Cell p_List[kPages][kPageCells];  // display names by page and slot
    Cell p_file[kPages][kPageCells];  // short names by page and slot

    int TotalSong;      // songs in the catalogue
    int p_count;        // the page shown and played from
    int MAX;            // the last page that holds songs
    int num;            // slot of the shown page that plays; -1 while the loop advances
    Cell Label;         // display name of the song now playing
    int isPlay;         // 1 while playing or stopped by the user; 0 once the track ended
    int Control;        // 1 after the Stop command, until the next key
    int a_uto;          // 1 when slot 9 was chosen by its digit: its end turns the page
    int m_null;         // 1 when the current slot of the shown page is empty, until a key
    int stop_flash;     // 1 while a dialog is open: the playing row does not flash
    int m_normal_text;  // slot last drawn highlighted, to be drawn normal again
    int err;            // result of the last checked command or search step
    int i;              // characters typed in a dialog's field

    // Whether a track is open under the playback alias; whether the status
    // line tells that a song could not be played, since when, and which.
    int trackOpen;
    int cannotPlayShown;
    unsigned cannotPlaySince;  // GetTickCount() when it was found
    Cell cannotPlayName;       // display name of the song that could not be played
    int afterPrefix;           // the last key was the prefix of an extended key
    KeysAt keysAt;             // what takes the keys now
    int playingSong;           // catalogue index of the song Play last opened
    // The command line named the music folder: the player runs as if started
    // in it, and its path.txt, which belongs to another way of starting, is
    // left alone. givenSong is the short name of the song it named, if any,
    // to be played first.
    int folderGiven;
    ShortCell givenSong;

    // The volume and the modes of play, and the point of the last run that can
    // be taken up again.
    int volume;              // 0 to kFullVolume; every song opened plays at it
    int shuffle;             // 1 while the songs follow in a random order
    int repeatMode;          // kRepeatFolder, kRepeatSong or kRepeatOff
    int notices;             // 1 while song changes are told to the desktop
    int gainMode;            // kGainOff, kGainTrack, kGainAlbum or kGainAuto
    int songStarts;          // calls of Play in this run
    long long playFromMs;    // where the next Play starts its song; 0 from the start
    int resumeOffered;       // 1 while row 22 offers the recorded point, until a song is chosen
    int resumeSong;          // catalogue index of the song offered
    unsigned resumeSeconds;  // and where in it the last run stood

    unsigned getlen;  // sum of all songs' lengths in seconds
    int h2, m2, s2;   // that total as hours (mod 24), minutes and seconds
    int mm_time;      // song count recorded at the previous exit

    // How the catalogue's songs pair with the songs recorded at the previous
    // exit: made by the added-songs measurement, read by the removed-songs walk.
    int recordedOf[kMaxSongs];      // per song: the recorded index of the same song, or -1
    bool stillThere[kMaxSongs];     // per recorded song: whether a song of the catalogue is it
    int songOrder[kMaxSongs];       // scratch: catalogue indices in the order of their names
    int recordOrder[kMaxSongs];     // scratch: recorded indices in the order of their names
    int recordedLength[kMaxSongs];  // scratch: recorded lengths while they move to their songs

    Cell dirname;          // the music folder; empty when it is the start directory
    Cell old_path;         // the start directory, home of path.txt and the cache files
    Cell UserName;         // the logged-on user
    Cell file_path;        // name of the folder file
    int x;                 // column of the playlist rows
    int y[kRowTableSize];  // row of each slot: slot + 5
};

extern PlayerState S;

// Zeroes the state and sets the fields that do not start at zero.
void resetPlayerState();

// Copies src into a fixed cell, cutting it to fit and always terminating it.
template <std::size_t N>
void copyCell(char (&cell)[N], const char* src) {
    std::size_t n = strnlen(src, N - 1);
    std::memmove(cell, src, n);
    std::memset(cell + n, 0, N - n);
}

// Replaces, in place, every byte that a terminal could take as a control
// (C0 and C1 controls, DEL, the controls of text direction, bytes that are
// not UTF-8) with "?", so that names from the file system can be printed
// safely. The length stays the same.
void makePrintable(char* text);

// Cuts a zero-terminated UTF-8 text to at most maxBytes bytes without
// splitting a character; bytes that are not UTF-8 count as characters of one.
void cutUtf8(char* text, std::size_t maxBytes);
