// Length of an MP3 file without decoding it: from the LAME/Xing/Info or VBRI
// header where one exists, otherwise by walking the frame headers. Also the
// quick check that a file is MP3 at all.
#pragma once

#include <vector>

#include "platform/mci/failure.h"
#include "platform/mci/uniquefd.h"

namespace mci {

struct Mp3Facts {
    long long lengthMs = 0;       // playable length, encoder delay and padding taken off
    long long lengthSamples = 0;  // the same in samples at sampleRate
    long sampleRate = 0;          // of the first frame
    int channels = 0;             // of the first frame
};

// Where every step-th frame of the stream begins in the file, from its first
// audio frame: what a decoder needs to reach a sample without reading every
// frame before it. At most kMaxEntries entries; the step doubles to keep it so.
struct FrameIndex {
    static constexpr std::size_t kMaxEntries = 4096;
    std::vector<long long> offsets;
    long long step = 1;
};

// How far past the ID3v2 tags the first frame is searched for: as far as
// libmpg123 skips junk at the start of a file, so that every file accepted
// here also plays.
inline constexpr long kFirstFrameSearchLimit = 64 * 1024;

// How much junk within the stream is skipped to find the next frame. Audio
// after a longer run of junk is not counted, and the engine does not play
// it; its decoder is given this as MPG123_RESYNC_LIMIT too.
inline constexpr long kResyncLimit = 4096;

// Opens path read-only and without ever blocking. Fails with
// MCIERR_FILE_NOT_FOUND (missing) or MCIERR_FILE_READ (unreadable), with the
// system's cause.
Failure openMp3(const char* path, UniqueFd* file);

// Examines the file open at fd (its offset is left alone), so that what is
// measured is the very file that is then played. Fills facts, or fails with
// MCIERR_INVALID_FILE (empty, a directory: EISDIR, not MPEG audio: EINVAL) or
// MCIERR_FILE_READ (the system's cause). facts may be null when only the
// check is wanted. When index is not null and the frames are walked (the
// file has no usable VBR header), it gets where the frames are; otherwise it
// is left empty.
Failure measureMp3File(int fd, Mp3Facts* facts, FrameIndex* index = nullptr);

// Both steps on the file at path.
Failure measureMp3Path(const char* path, Mp3Facts* facts);

// measureMp3Path for callers of the errno kind: returns 0 or the failure's
// code, with errno set to its cause after the file is closed.
int measureMp3(const char* path, Mp3Facts* facts);

}  // namespace mci
