// Reading typed input on top of the keyboard: the waits for "any key" and the
// line input field.
#pragma once

// Waits for one key and takes it whole: an extended key's prefix and its scan
// code both, so that no half of it is left for the screen that comes next.
void waitForWholeKey();

// The line input field. It takes over the whole screen: the prompt at (1, 2)
// with the typed text echoed after it, and a footer banner on row 25 that
// ends in "Press Esc to exit.". Keys are stored as _getch delivers them,
// unconverted, digit or not: an extended key is two stored bytes. Enter (13)
// accepts a text of at least one byte, Esc (27) cancels, Backspace (8)
// removes the last character (a whole UTF-8 character), Tab (9) is ignored;
// those four codes are never stored. The length limit counts bytes.

constexpr int kFieldSize = 128;

struct FieldLayout {
    const char* title;        // the product's title line, first in the banner
    const char* prompt;       // printed at (1, 2)
    int echoColumn;           // where the text is echoed on row 2
    int maxLength;            // bytes kept, at most kFieldSize - 1; more are dropped
    bool ignoreLeadingSpace;  // a space typed into the empty field is dropped
};

struct FieldText {
    char text[kFieldSize];  // the bytes typed, zero after the last of them
    int count;              // how many; a stored 0 byte (an F-key's prefix) counts
};

enum class FieldOutcome { Accepted, Cancelled, Ended };

// Blocking form: nothing else runs until Enter or Esc. A terminal that
// changes its size meanwhile gets the field drawn anew within a quarter second.
FieldOutcome InputField(const FieldLayout& layout, FieldText* typed);

// Polling form: step runs before each wait for a key and answers how many
// milliseconds may pass before it must run again, or a negative number to
// end the field (Ended). A key ends the wait at once.
FieldOutcome InputField(const FieldLayout& layout, FieldText* typed, int (*step)());
