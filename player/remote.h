// The player driven from the desktop's session bus (media keys, sound menus,
// scripts). A call is one of the player's commands (player/commands.h):
// Next, Previous, Stop and Quit are theirs, PlayPause, Play and Pause are
// Pause or Resume (Play on a stopped song plays it again), Seek and
// SetPosition set the position, a new Rate the speed, a new Volume the
// volume, a new Shuffle or LoopStatus the modes that Z and T step through. A call is refused by the
// rule that makes a key not act as that command.
#pragma once

// Asks for the bus to be connected at the next pass of the command loop, so
// that the start-up never waits on it. Without a session bus nothing changes.
void remoteStart();
// Each pass of the command loop: connects when asked, handles what the bus
// sent, and tells it what changed (song, status, speed, what can be done).
void remoteTick();
// Play has started a song: the bus learns of it at once (and a desktop notice
// names it), not at the next pass.
void remoteSongStarted();

class MprisPlayer;
// What the bus hands its calls to, and asks for the player's state.
MprisPlayer& remotePlayer();
