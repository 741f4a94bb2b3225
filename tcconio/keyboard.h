// Keyboard and timing, with the codes of the Windows console runtime:
// Enter 13, Backspace 8 (DEL too), Tab 9, a lone Esc 27; an extended key as
// two codes, the prefix 224 (0 for F1-F10) and then its scan code (right 77,
// left 75, up 72, down 80, Home 71, End 79, PgUp 73, PgDn 81, Insert 82,
// Delete 83, F1-F10 59-68).
#pragma once

// The first code of an extended key: 0 for F1-F10, 224 for the others.
constexpr int kFunctionKeyPrefix = 0;
constexpr int kExtendedKeyPrefix = 224;
inline bool isKeyPrefix(int code) {
    return code == kFunctionKeyPrefix || code == kExtendedKeyPrefix;
}

// Blocks until a key is pressed and returns its code without echo. When the
// input has ended (no terminal and standard input exhausted) the program ends
// with status 1 and a message on stderr.
int _getch();
// Non-zero when a key is waiting; never blocks and takes no key.
int _kbhit();
// Suspends the program for ms milliseconds.
void _sleep(unsigned ms);
// Like _sleep, but returns early, with true, as soon as a key is waiting.
bool sleepUntilKey(unsigned ms);

// Run once before _getch ends the program because the input has ended (a
// closed terminal): the program records there what must outlive it.
void conioBeforeInputEnd(void (*record)());

// Other sources of events than the keyboard (a track that ended, a message
// from the session bus) register a descriptor here, and the waits of this
// layer watch it beside the keyboard. When it is readable, the wait calls its
// handler on the waiting thread, which must take what made it readable (read
// the eventfd, process the messages) and may queue keys with conioQueueKey.
// Then sleepUntilKey returns at once (true only when a key is waiting), and
// _getch goes on waiting unless a key is. The bytes of one escape sequence
// are read without calling a handler, so that no event cuts a key in two.
using ConioEventHandler = void (*)(void* context);
// False when the descriptor is negative or every place is taken.
bool conioWatch(int fd, ConioEventHandler onReadable, void* context);
void conioUnwatch(int fd);
// Queues a key's code as if it had been typed after those already waiting.
void conioQueueKey(int code);
// How many events the waits have handled so far. A caller with several waits
// in a row compares two readings to let an event end all of them, as a key
// that stays waiting does.
unsigned conioEventCount();
// Milliseconds on a clock that only goes forward, from an arbitrary start;
// differences of two readings are right across its wrap.
unsigned GetTickCount();
