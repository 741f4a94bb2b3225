// Length of an MP3 file without decoding it: from the LAME/Xing/Info or VBRI
// header where one exists, otherwise by walking the frame headers. Also the
// quick check that a file is MP3 at all.
#pragma once

namespace mci {

struct Mp3Facts {
    long long lengthMs = 0;  // playable length, encoder delay and padding taken off
    long sampleRate = 0;     // of the first frame
    int channels = 0;        // of the first frame
};

// Examines the file at path. Returns 0 with facts filled, or an MCIERR code:
// MCIERR_FILE_NOT_FOUND (missing), MCIERR_INVALID_FILE (empty, a directory,
// not MPEG audio), MCIERR_FILE_READ (unreadable). errno is set on failure.
int measureMp3(const char* path, Mp3Facts* facts);

}  // namespace mci
