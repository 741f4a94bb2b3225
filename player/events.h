// The player's event loop. Every wait for a key (sleepUntilKey, _getch) is
// one poll on the keyboard, the engine's end-of-track descriptor, the
// terminal's resize and the descriptors watched here (the session bus). When
// one of them is readable, its handler runs on the waiting thread and the
// wait ends as for a key: sleepUntilKey returns (true only when a key is
// waiting), _getch waits on for a key.
#pragma once

using EventHandler = void (*)(void* context);

// Makes the waits for keys wait on the event sources too. Called once, in
// main, after the terminal is taken over.
void startEventLoop();

// Watches fd; its handler must take what made it readable (read the eventfd,
// process the messages). A descriptor that hangs up is let go after its
// handler ran. False when fd is negative or every place is taken.
bool watchDescriptor(int fd, EventHandler onReadable, void* context);
void unwatchDescriptor(int fd);

// How many events the waits have handled so far. A caller with several waits
// in a row compares two readings to let an event end all of them, as a key
// that stays waiting does.
unsigned eventCount();
