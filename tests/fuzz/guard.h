// Shared ground of the fuzz targets.
//
// Some readers end the program on input they refuse (a path too long, the
// end of the keys): they call exit() after a message, which is their right
// answer. A fuzz run must go on with the next input, so the targets are
// linked with --wrap=exit, and while runGuarded runs such an end becomes an
// exception that it takes. A crash, a sanitizer report or a hang is still
// reported as one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Runs code; false when it ended the program or threw (the scripted
// keyboard of the player's tests throws when it has no more keys).
bool runGuarded(void (*code)(void*), void* context);

template <class Code>
bool runGuarded(Code&& code) {
    return runGuarded([](void* c) { (*static_cast<Code*>(c))(); }, &code);
}

// A fresh temporary folder, made once per process and kept for its life.
const std::string& fuzzFolder();

// Writes bytes into the file name, replacing it.
void writeWhole(const std::string& name, const std::uint8_t* data, std::size_t size);

// Aborts with the message when the condition does not hold: a broken
// promise of the code under test counts as a crash.
void require(bool condition, const char* what);
