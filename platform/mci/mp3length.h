// Length of an MP3 file without decoding it: from the LAME/Xing/Info or VBRI
// header where one exists, otherwise by walking the frame headers. Also the
// quick check that a file is MP3 at all.
#pragma once

#include "platform/mci/uniquefd.h"

namespace mci {

struct Mp3Facts {
    long long lengthMs = 0;       // playable length, encoder delay and padding taken off
    long long lengthSamples = 0;  // the same in samples at sampleRate
    long sampleRate = 0;          // of the first frame
    int channels = 0;             // of the first frame
};

// How far past the ID3v2 tags the first frame is searched for: as far as
// libmpg123 skips junk at the start of a file, so that every file accepted
// here also plays.
inline constexpr long kFirstFrameSearchLimit = 64 * 1024;

// How much junk within the stream is skipped to find the next frame. Audio
// after a longer run of junk is not counted, and the engine does not play
// it; its decoder is given this as MPG123_RESYNC_LIMIT too.
inline constexpr long kResyncLimit = 4096;

// Examines the file at path. Returns 0 with facts filled, or an MCIERR code:
// MCIERR_FILE_NOT_FOUND (missing), MCIERR_INVALID_FILE (empty, a directory,
// not MPEG audio), MCIERR_FILE_READ (unreadable). errno is set on failure:
// the system's cause for the first and last, EISDIR for a directory and
// EINVAL for a file that holds no MPEG audio. facts may be null when only
// the check is wanted.
int measureMp3(const char* path, Mp3Facts* facts);

// The same in two steps, so that what is measured is the very file that is
// then played: openMp3 opens path read-only and without ever blocking, and
// gives the same failures as measureMp3 for a name that cannot be opened;
// measureMp3File examines the file open at fd (its offset is left alone).
int openMp3(const char* path, UniqueFd* file);
int measureMp3File(int fd, Mp3Facts* facts);

}  // namespace mci
