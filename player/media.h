// The player's side of the media-control commands: the failure rule.
#pragma once

#include <cstddef>

// Size of every reply buffer the player hands to the media layer.
constexpr unsigned kReplySize = 128;

// Sends a command whose failure ends the program. The result goes to S.err;
// a result above zero prints word ("error", or "Error" for the position jump)
// through perror and ends the program with status 1.
void sendChecked(const char* command, char* reply = nullptr, unsigned replySize = 0,
                 const char* word = "error");

// Sends a command whose result is not examined; a reply that the command did
// not fill stays as the caller left it.
void sendUnchecked(const char* command, char* reply = nullptr, unsigned replySize = 0);

// Milliseconds from a reply: its leading decimal digits; a reply without
// digits is 0, and one of more digits than any track has stops growing.
long long millisecondsOf(const char* reply);

// Whole seconds from a reply in milliseconds, rounded down, at most what
// 2^32 - 1 milliseconds make.
unsigned secondsOf(const char* reply);
unsigned wholeSeconds(long long milliseconds);

// A song's time as mm:ss, or as h:mm:ss when withHours, so that times of
// the same song read alike.
void formatSongTime(char* text, std::size_t size, unsigned seconds, bool withHours);
