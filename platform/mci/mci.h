// Media-control command strings: the stand-in for the Windows multimedia
// command-string interface. Each call is synchronous and returns at once;
// the process's one playback engine (engine.h) plays on between calls.
#pragma once

// Windows-style error codes (MCIERR_BASE 256).
enum : int {
    MCIERR_INVALID_DEVICE_ID = 257,
    MCIERR_UNRECOGNIZED_KEYWORD = 259,
    MCIERR_UNRECOGNIZED_COMMAND = 261,
    MCIERR_HARDWARE = 262,
    MCIERR_INVALID_DEVICE_NAME = 263,
    MCIERR_OUT_OF_MEMORY = 264,
    MCIERR_BAD_INTEGER = 270,
    MCIERR_MISSING_PARAMETER = 273,
    MCIERR_FILE_NOT_FOUND = 275,
    MCIERR_OUTOFRANGE = 282,
    MCIERR_DUPLICATE_ALIAS = 289,
    MCIERR_NO_CLOSING_QUOTE = 294,
    MCIERR_INVALID_FILE = 296,
    MCIERR_PARAM_OVERFLOW = 299,
    MCIERR_FILE_READ = 348,
};

// Interprets one command text. Returns 0 or an MCIERR code; on failure errno
// is set to the nearest system error so that perror() tells the truth. A
// reply, when the command has one and reply is not null, is written
// zero-terminated within replySize bytes.
int mciSendString(const char* command, char* reply, unsigned replySize);

// Describes an error code in text (bounded, terminated). False for a code
// that is not an MCIERR code (text then says so).
bool mciGetErrorString(int code, char* text, unsigned size);

// The audio output that devices play through, for example "ALSA default" or
// "silent, no device" when no sound device could be opened. Null while the
// first song to play is still opening its output: the answer comes a few
// milliseconds later.
const char* mciAudioOutput();

// A descriptor that becomes readable when a track played with the notify
// flag ("play ALIAS notify") ends by itself: its last frame has gone to the
// output, and the next track opened now follows it without a gap. A stop, a
// pause or a close signals nothing. mciTakeNotify() makes it unreadable
// again. -1 when the system could not make one; the notify flag then does
// nothing.
int mciNotifyDescriptor();
void mciTakeNotify();
