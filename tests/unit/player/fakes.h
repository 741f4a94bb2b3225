// Stand-ins that the player's unit tests link in place of the media-control
// engine and the keyboard: a recording media layer with scripted replies, and
// a scripted keyboard with a virtual clock.
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace fake {

struct Media {
    std::vector<std::string> commands;  // every command text, in order
    std::set<std::string> openAliases;  // aliases open now
    // Reply to "status MP3_Device mode"; open, play, pause, resume and stop
    // of MP3_Device change it as they change the engine's.
    std::string mode = "playing";
    std::string length = "1000";         // reply to "status MP3_Device length"
    std::string position = "0";          // reply to "status MP3_Device position"
    std::string gainKind = "off";        // set by "setaudio MP3_Device replaygain to"
    std::string gain = "no gain";        // reply to "status MP3_Device replaygain" unless off
    std::string speed = "1000";          // reply to "status MP3_Device speed", set by "set"
    std::string volume = "1000";         // reply to "status MP3_Device volume", set by "setaudio"
    std::set<std::string> refusedFiles;  // names whose open is refused: not MP3
    std::set<std::string> missingFiles;  // names whose open is refused: no such file
    std::set<std::string> failing;       // first words of commands that fail with EIO
    std::set<std::string> outOfRange;    // whole commands refused as out of range
    // When set, the virtual time at which the track that plays ends: until
    // then its position runs with the virtual clock up to length. A track
    // played with notify ends a sleepUntilKey at that time, as an event.
    unsigned endsAt = 0;
    bool notifying = false;  // MP3_Device was played with notify

    // The virtual clock when each command was sent.
    std::vector<unsigned> sentAt;
    // The file name each alias was opened with.
    std::map<std::string, std::string> fileOf;
    // Replies to the length query of a file, by its name or by the alias it
    // is open under; a file not listed has no length to give.
    std::map<std::string, std::string> fileLengths;
};

// The fake's state; reset() empties it.
Media& media();
void resetMedia();
// Commands sent since the last call of this function.
std::vector<std::string> takeCommands();
// The same, without the status queries: what changed the track.
std::vector<std::string> takeActions();
// The names opened under MP3_Device, in order, from a list of commands.
std::vector<std::string> openedSongs(const std::vector<std::string>& commands);

// Thrown by _getch when the script has no more keys, and by sleepUntilKey
// when the program has waited an hour of virtual time for one.
struct NoMoreKeys : std::runtime_error {
    NoMoreKeys() : std::runtime_error("the scripted keyboard has no more keys") {}
};

// Queues keys for _getch; _kbhit tells whether any are left.
void pressKeys(const std::string& keys);
void resetKeyboard();
// Milliseconds the program has slept on the virtual clock.
unsigned sleptMilliseconds();
// Waits that the end of a notifying track has cut short.
unsigned eventsDelivered();

}  // namespace fake
