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

// A program that waits on more than the keyboard hands the layer its own
// wait: one poll on the input descriptor and on its other sources, whose
// events it handles itself. It answers Input when the input is readable,
// Event when something else was handled (sleepUntilKey then returns at once,
// true only when a key is waiting; _getch goes on waiting), Interrupted for
// a signal (the wait goes on for the rest of its time), or Nothing when the
// time is up. The bytes of one escape sequence are read without it, so that
// no event cuts a key in two. Without one, the waits watch the input alone.
enum class ConioWake { Input, Event, Interrupted, Nothing };
using ConioWait = ConioWake (*)(int inputFd, int timeoutMs);
void conioSetWait(ConioWait wait);
// Milliseconds on a clock that only goes forward, from an arbitrary start;
// differences of two readings are right across its wrap.
unsigned GetTickCount();
