// Console text layer: the conio-style screen operations the player uses,
// written as ANSI/ECMA-48 sequences to standard output.
//
// Cells are addressed 1-based (column x, row y). Text attributes are the
// 16-colour console cell attributes: bit 0 blue, bit 1 green, bit 2 red,
// bit 3 intensity; the background in bits 4 to 7. The layer keeps the current
// attribute itself (7 at start), since a terminal cannot be asked for it.
//
// Without a terminal on standard output every operation here does nothing.
#pragma once

#include <cstddef>

// Moves the cursor to cell (x, y); a cell outside the window is ignored.
void gotoxy(int x, int y);
// Blanks the whole screen in the current attribute; the cursor goes to (1, 1).
void clrscr();
// Blanks from the cursor to the end of its row; the cursor stays.
void clreol();
// Sets the foreground nibble of the current attribute to color (and, for a
// color above 15, background bits too): attribute = (attribute & 0xF0) | color.
void textcolor(int color);

// Terminal session. conioStart() is the first thing the program does, before
// anything is written to standard output. It opens /dev/null on a standard
// stream that was closed at start, takes the terminal over (alternate screen,
// keys unechoed and unbuffered, standard output flushed before every key read
// and every sleep, so the screen is complete whenever the program waits) and
// arranges that conioRestore() runs on every way out: exit, and every signal
// whose default is to end the program (SIGINT from Ctrl+C, SIGTERM, SIGHUP,
// SIGQUIT, SIGPIPE, SIGUSR1...). After such a signal the program ends with
// status 1, like every other end; after a crash signal it ends as the crash
// would have. Without a terminal it leaves the terminal modes alone but still
// makes standard output unbuffered and handles those signals. A second call
// does nothing.
void conioStart();
// Puts the terminal back as conioStart() found it. Safe to call more than
// once and from any exit path.
void conioRestore();

// After conioStart(): SIGINT (Ctrl+C), SIGTERM and SIGHUP (a closed
// terminal) no longer end the program at once but make the descriptor
// returned readable, so that the program, which watches it beside the keys,
// can record what it must and end (through exit, which restores the
// terminal). Should it not end within 2 s, or should a second such signal
// come, the signal ends it as before. -1 when no descriptor can be made;
// the signals then end the program at once. A second call returns the same.
int conioTakeEndSignals();

// True once after each change of the terminal's size (SIGWINCH), and after
// the terminal was given back for a stop (Ctrl+Z) and taken over again: either
// way the screen must be drawn anew. Needs conioStart().
bool conioTakeResize();
// A descriptor that becomes readable at such a change, for a program that
// waits in a poll of its own; conioTakeResizeWakeup() makes it unreadable
// again (the change itself stays for conioTakeResize). -1 before conioStart().
int conioResizeDescriptor();
void conioTakeResizeWakeup();
// While the terminal is smaller than 80 x 25, shows a one-line request to
// enlarge it; returns once it is large enough or a key was pressed (the key is
// consumed). Returns at once when the terminal is large enough or absent.
void conioRequireSize();

// Whether a character would act on the terminal instead of showing: a C0 or
// C1 control, DEL, a byte that is no part of a UTF-8 character, or one of
// the controls of text direction (U+061C, U+200E, U+200F, U+202A-U+202E,
// U+2066-U+2069), which can reorder the rest of a row. c holds one whole
// UTF-8 character of length bytes, or a single byte that begins none.
bool isTerminalControl(const unsigned char* c, std::size_t length);

// The number of bytes of the UTF-8 character that c begins, looking at no
// more than the available bytes (at least 1): 1 to 4 for a whole character;
// 0 when c begins none (a byte that leads nothing, an overlong form, a
// surrogate, a code point past U+10FFFF); -k when the k available bytes are
// the valid beginning of one. Reading stops at the first byte that does not
// fit, so a zero-terminated text is never read past its end.
int utf8CharLength(const unsigned char* c, std::size_t available);

// Cuts a zero-terminated UTF-8 text, in place, to the characters that fit in
// the given number of the terminal's columns: a wide letter (of Chinese,
// Japanese, Korean, most emoji) takes two, a combining mark none. A byte that
// begins no character counts one.
void cutToColumns(char* text, int columns);
