// The player driven from the desktop's session bus (media keys, sound menus,
// scripts). A call does what its key does: Next is Right, Previous is Left,
// PlayPause, Play and Pause are W (Play on a stopped song is P), Stop is S,
// Quit is Q, Seek and SetPosition the position dialog's jump, a new Rate the
// speed dialog's, a new Volume the volume keys'. Keys are queued for the loop
// that reads them, so a call acts where and as a key would; where a key would
// be ignored or typed into a field, the call is refused.
#pragma once

// Where the keys are taken now.
enum class RemotePlace { MainScreen, Paused, Dialog, FolderPrompt };

// Asks for the bus to be connected at the next pass of the command loop, so
// that the start-up never waits on it. Without a session bus nothing changes.
void remoteStart();
// Each pass of the command loop: connects when asked, handles what the bus
// sent, and tells it what changed (song, status, speed, what can be done).
void remoteTick();
// Play has started a song: the bus learns of it at once (and a desktop notice
// names it), not at the next pass.
void remoteSongStarted();
// The position jumped through the position dialog.
void remoteSeeked();

class MprisPlayer;
// What the bus hands its calls to, and asks for the player's state.
MprisPlayer& remotePlayer();

// Marks, for as long as it lives, that keys are taken at place.
class RemotePlaceScope {
  public:
    explicit RemotePlaceScope(RemotePlace place);
    ~RemotePlaceScope();
    RemotePlaceScope(const RemotePlaceScope&) = delete;
    RemotePlaceScope& operator=(const RemotePlaceScope&) = delete;

  private:
    RemotePlace previous_;
};
